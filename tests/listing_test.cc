// The level listing through the scripted spooler: the lines it writes and the
// calls it makes.
#include <gtest/gtest.h>

#include <cstring>

#include "capture.h"
#include "listing/listing.h"
#include "scripted_spooler.h"

namespace {

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSpooler(); }
};

std::string List(DWORD level, DWORD flags) {
  return CaptureOutput([&] { ListPrinters(level, flags); });
}

TEST_F(ListingTest, NothingToListWritesNothingAfterOneSizingCall) {
  EXPECT_EQ(List(2, PRINTER_ENUM_LOCAL), "");
  ASSERT_EQ(SpoolerCalls().size(), 1u);
  const SpoolerCall& sizing = SpoolerCalls()[0];
  EXPECT_EQ(sizing.flags, 0x02u);
  EXPECT_FALSE(sizing.name);
  EXPECT_EQ(sizing.level, 2u);
  EXPECT_FALSE(sizing.buffer);
  EXPECT_EQ(sizing.cbBuf, 0u);
}

TEST_F(ListingTest, EachLevelReadsItsOwnNameFieldInBufferOrder) {
  // The decoys in the other string fields would show if the wrong one were
  // read; the by-name requests find nothing, so no nested lines.
  for (DWORD level : {1u, 2u, 4u, 5u}) {
    ResetSpooler();
    ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, level,
                 Records({Named(L"Zeta"), Named(L"Alpha"), Named(L"Mid")}));
    EXPECT_EQ(List(level, PRINTER_ENUM_LOCAL),
              "- Zeta\n- Alpha\n- Mid\n= TOTAL: 3\n")
        << "level " << level;
  }
}

TEST_F(ListingTest, SizingThenFillingWithNeededPlus128) {
  const ScriptedAnswer answer = Records({Named(L"A"), Named(L"B")});
  ScriptAnswer(PRINTER_ENUM_REMOTE, nullptr, 4, answer);
  List(4, PRINTER_ENUM_REMOTE);

  const std::vector<SpoolerCall>& calls = SpoolerCalls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_FALSE(calls[0].buffer);
  EXPECT_EQ(calls[0].cbBuf, 0u);
  EXPECT_EQ(calls[1].flags, 0x10u);
  EXPECT_FALSE(calls[1].name);
  EXPECT_EQ(calls[1].level, 4u);
  EXPECT_TRUE(calls[1].buffer);
  EXPECT_EQ(calls[1].cbBuf, LaidOutSize(4, answer) + 128);
}

TEST_F(ListingTest, ReportedNeededIsWhatTheBufferIsSizedBy) {
  // A spooler that over-reports gets needed + 128, not its real size + 128.
  ScriptedAnswer answer = Records({Named(L"A")});
  answer.needed = 5000;
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 1, answer);
  EXPECT_EQ(List(1, PRINTER_ENUM_LOCAL), "- A\n= TOTAL: 1\n");
  EXPECT_EQ(SpoolerCalls()[1].cbBuf, 5128u);
}

TEST_F(ListingTest, NeededButNoRecordsWritesTotalZero) {
  ScriptedAnswer answer;
  answer.needed = 300;
  answer.count = 0;
  ScriptAnswer(PRINTER_ENUM_CONNECTIONS, nullptr, 2, answer);
  EXPECT_EQ(List(2, PRINTER_ENUM_CONNECTIONS), "= TOTAL: 0\n");
  EXPECT_EQ(SpoolerCalls().size(), 2u);
}

TEST_F(ListingTest, NegativeCountListsNothing) {
  ScriptedAnswer answer = Records({Named(L"A")});
  answer.count = 0x80000000u;  // -2147483648 as a signed count
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 1, answer);
  EXPECT_EQ(List(1, PRINTER_ENUM_LOCAL), "= TOTAL: 0\n");
}

TEST_F(ListingTest, CountBeyondTheBufferListsOnlyRecordsThatFit) {
  ScriptedAnswer answer = Records({Named(L"A"), Named(L"B")});
  answer.count = 1000000;
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 2, answer);
  const std::string out = List(2, PRINTER_ENUM_LOCAL);

  const std::size_t fit = (LaidOutSize(2, answer) + 128) / sizeof(PRINTER_INFO_2);
  ASSERT_LT(fit, 1000000u);
  EXPECT_EQ(out.rfind("- A\n- B\n", 0), 0u) << out;
  EXPECT_NE(out.find("= TOTAL: " + std::to_string(fit) + "\n"), std::string::npos)
      << out;
}

TEST_F(ListingTest, NamesThatCannotBeReadAreEmptyAndNotAskedBy) {
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 5,
               Records({NullName(), OutsideName(), Named(L"Real")}));
  EXPECT_EQ(List(5, PRINTER_ENUM_LOCAL), "- \n- \n- Real\n= TOTAL: 3\n");
  // Only the readable name is offered to the by-name expansion.
  int by_name = 0;
  for (const SpoolerCall& call : SpoolerCalls()) {
    if (call.flags == PRINTER_ENUM_NAME) {
      ++by_name;
      EXPECT_EQ(call.name, std::wstring(L"Real"));
    }
  }
  EXPECT_EQ(by_name, 1);
}

TEST_F(ListingTest, NamesAreWrittenRawAsUtf8) {
  const wchar_t lone_surrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 1,
               Records({Named(L"B\u00fcro"), Named(L"Kasse\u20ac2"),
                 Named(L"\u6253\u5370\u6a5f"), Named(L"\U0001F5A8 Drucker"),
                 Named(lone_surrogate), Named(L""), Named(L"  blanks  ")}));
  EXPECT_EQ(List(1, PRINTER_ENUM_LOCAL),
            "- B\xC3\xBCro\n"
            "- Kasse\xE2\x82\xAC" "2\n"
            "- \xE6\x89\x93\xE5\x8D\xB0\xE6\xA9\x9F\n"
            "- \xF0\x9F\x96\xA8 Drucker\n"
            "- a\xEF\xBF\xBD" "b\n"
            "- \n"
            "-   blanks  \n"
            "= TOTAL: 7\n");
}

TEST_F(ListingTest, LineBreaksInNamesCannotForgeReportLines) {
  // Found by the listing fuzzer: a name holding a line feed ended its entry
  // line early, and the rest of it read as a line of its own.
  const std::wstring forged = L"Office\n= TOTAL: 99\n====== Remote ======";
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 2,
               Records({Named(forged), Named(L"A\rB\r\n")}));
  ScriptAnswer(PRINTER_ENUM_NAME, forged.c_str(), 1,
               Records({Named(L"x\ny"), Named(L"\n")}));
  EXPECT_EQ(List(2, PRINTER_ENUM_LOCAL),
            "- Office\xE2\x90\x8A= TOTAL: 99\xE2\x90\x8A====== Remote ======\n"
            "--> x\xE2\x90\x8Ay\n"
            "--> \xE2\x90\x8A\n"
            "- A\xE2\x90\x8D" "B\xE2\x90\x8D\xE2\x90\x8A\n"
            "= TOTAL: 2\n");
  // The spooler is still asked by the name exactly as it gave it.
  std::vector<std::wstring> asked;
  for (const SpoolerCall& call : SpoolerCalls()) {
    if (call.flags == PRINTER_ENUM_NAME && !call.buffer) asked.push_back(*call.name);
  }
  EXPECT_EQ(asked, (std::vector<std::wstring>{forged, L"A\rB\r\n"}));
}

TEST_F(ListingTest, ControlsInNamesAreShownNotActedOn) {
  // ESC [2J (clear), OSC 0 (title) ended by BEL, a tab, backspace, DEL, the
  // C1 CSI, and the line and paragraph separators.
  const std::wstring hostile = std::wstring(L"\x1B[2J\x1B]0;t\x07 \t\b\x7F") +
                               wchar_t(0x9B) + L"31m" + wchar_t(0x2028) +
                               wchar_t(0x2029) + wchar_t(0x200F) + L"\u00E9";
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 1, Records({Named(hostile)}));
  ScriptAnswer(PRINTER_ENUM_NAME, hostile.c_str(), 1,
               Records({Named(L"\x1B]8;;x\x1B\\")}));
  EXPECT_EQ(List(1, PRINTER_ENUM_LOCAL),
            "- \xE2\x90\x9B[2J\xE2\x90\x9B]0;t\xE2\x90\x87 \xE2\x90\x89"
            "\xE2\x90\x88\xE2\x90\xA1<U+009B>31m<U+2028><U+2029>"
            "\xE2\x80\x8F\xC3\xA9\n"
            "--> \xE2\x90\x9B]8;;x\xE2\x90\x9B\\\n"
            "= TOTAL: 1\n");
}

TEST_F(ListingTest, UnknownLevelNamesEveryRecordError) {
  ScriptedAnswer answer;
  answer.needed = 10;
  answer.count = 2;
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 3, answer);
  EXPECT_EQ(List(3, PRINTER_ENUM_LOCAL), "- ERROR\n- ERROR\n= TOTAL: 2\n");
}

// EntryName's own checks on a hand-made block.
TEST(EntryNameTest, UnterminatedOrMisplacedNamesAreNotRead) {
  std::vector<BYTE> block(sizeof(PRINTER_INFO_1) + 3 * sizeof(wchar_t));
  wchar_t* text = reinterpret_cast<wchar_t*>(block.data() + sizeof(PRINTER_INFO_1));
  text[0] = L'a';
  text[1] = L'b';
  text[2] = L'c';  // the block ends without a terminator
  PRINTER_INFO_1 info{};
  info.pName = text;
  std::memcpy(block.data(), &info, sizeof info);
  EXPECT_FALSE(EntryName(1, block, 0));

  text[2] = 0;
  EXPECT_EQ(EntryName(1, block, 0), std::wstring(L"ab"));
  EXPECT_FALSE(EntryName(1, block, 1)) << "record 1 lies past the block";

  info.pName = reinterpret_cast<LPWSTR>(block.data() + block.size());
  std::memcpy(block.data(), &info, sizeof info);
  EXPECT_FALSE(EntryName(1, block, 0)) << "one past the end is outside";
}

TEST(EntryNameTest, NamesAreCopiedWholeWhereverTheyStart) {
  // A name at an odd address, one ending on the block's last unit, and an
  // empty one: each is copied exactly, terminator excluded.
  const std::wstring name = L"Kasse\u20ac2";
  const std::size_t odd = sizeof(PRINTER_INFO_1) * 3 + 1;
  std::vector<BYTE> block(odd + (name.size() + 1) * sizeof(wchar_t) +
                          sizeof(wchar_t));
  std::memcpy(block.data() + odd, name.c_str(),
              (name.size() + 1) * sizeof(wchar_t));
  const std::size_t last = block.size() - sizeof(wchar_t);
  const wchar_t zero = 0;
  std::memcpy(block.data() + last, &zero, sizeof zero);

  PRINTER_INFO_1 info{};
  info.pName = reinterpret_cast<LPWSTR>(block.data() + odd);
  std::memcpy(block.data(), &info, sizeof info);
  info.pName = reinterpret_cast<LPWSTR>(block.data() + last);
  std::memcpy(block.data() + sizeof info, &info, sizeof info);
  info.pName = reinterpret_cast<LPWSTR>(block.data() + odd + sizeof(wchar_t));
  std::memcpy(block.data() + 2 * sizeof info, &info, sizeof info);

  EXPECT_EQ(EntryName(1, block, 0), name);
  EXPECT_EQ(EntryName(1, block, 1), std::wstring());
  EXPECT_EQ(EntryName(1, block, 2), name.substr(1));
}

}  // namespace
