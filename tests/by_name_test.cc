// The by-name expansion under each entry: where its lines stand, which names
// are expanded, and the requests it makes.
#include <gtest/gtest.h>

#include "capture.h"
#include "listing/listing.h"
#include "scripted_spooler.h"

namespace {

class ByNameTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSpooler(); }
};

std::string List(DWORD level, DWORD flags) {
  return CaptureOutput([&] { ListPrinters(level, flags); });
}

std::vector<SpoolerCall> ByNameCalls() {
  std::vector<SpoolerCall> by_name;
  for (const SpoolerCall& call : SpoolerCalls()) {
    if (call.flags == PRINTER_ENUM_NAME) by_name.push_back(call);
  }
  return by_name;
}

TEST_F(ByNameTest, NestedLinesStandUnderTheirEntryAtEveryOuterLevel) {
  // Outer records of levels 2, 4 and 5 are larger than the level-1 records
  // the expansion reads.
  for (DWORD level : {1u, 2u, 4u, 5u}) {
    ResetSpooler();
    ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, level,
                 Records({Named(L"First"), Named(L"Second"), Named(L"Third")}));
    ScriptAnswer(PRINTER_ENUM_NAME, L"First", 1,
                 Records({Named(L"\\\\host\\First"), Named(L"First copy")}));
    ScriptAnswer(PRINTER_ENUM_NAME, L"Third", 1, Records({Named(L"Only")}));
    EXPECT_EQ(List(level, PRINTER_ENUM_LOCAL),
              "- First\n"
              "--> \\\\host\\First\n"
              "--> First copy\n"
              "- Second\n"
              "- Third\n"
              "--> Only\n"
              "= TOTAL: 3\n")
        << "outer level " << level;
  }
}

TEST_F(ByNameTest, OnlyNamesBeginningWithTwoBangsAreLeftAlone) {
  const std::vector<std::wstring> names = {L"!!x", L"a!!b", L"ab", L"",
                                           L"x!!y!!z", L"!!y!!z", L"!x!"};
  std::vector<ScriptedName> records;
  for (const std::wstring& name : names) {
    records.push_back(Named(name));
    ScriptAnswer(PRINTER_ENUM_NAME, name.c_str(), 1,
                 Records({Named(L"under " + name)}));
  }
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 1, Records(records));
  EXPECT_EQ(List(1, PRINTER_ENUM_LOCAL),
            "- !!x\n"
            "- a!!b\n--> under a!!b\n"
            "- ab\n--> under ab\n"
            "- \n--> under \n"
            "- x!!y!!z\n--> under x!!y!!z\n"
            "- !!y!!z\n"
            "- !x!\n--> under !x!\n"
            "= TOTAL: 7\n");
}

TEST_F(ByNameTest, RequestsDependOnTheNameAloneSizingThenFilling) {
  ScriptAnswer(PRINTER_ENUM_REMOTE, nullptr, 2,
               Records({Named(L"\\\\server"), Named(L"!!skip"), Named(L"Empty")}));
  const ScriptedAnswer nested = Records({Named(L"Q1"), Named(L"Q2")});
  ScriptAnswer(PRINTER_ENUM_NAME, L"\\\\server", 1, nested);
  List(2, PRINTER_ENUM_REMOTE);

  const std::vector<SpoolerCall> calls = ByNameCalls();
  // "\\server": sizing and filling; "!!skip": nothing; "Empty": sizing only.
  ASSERT_EQ(calls.size(), 3u);
  for (const SpoolerCall& call : calls) EXPECT_EQ(call.level, 1u);
  EXPECT_EQ(calls[0].name, std::wstring(L"\\\\server"));
  EXPECT_FALSE(calls[0].buffer);
  EXPECT_EQ(calls[0].cbBuf, 0u);
  EXPECT_EQ(calls[1].name, std::wstring(L"\\\\server"));
  EXPECT_TRUE(calls[1].buffer);
  EXPECT_EQ(calls[1].cbBuf, LaidOutSize(1, nested) + 128);
  EXPECT_EQ(calls[2].name, std::wstring(L"Empty"));
  EXPECT_FALSE(calls[2].buffer);
  EXPECT_EQ(calls[2].cbBuf, 0u);

  // The same name under another scope and level asks the same again.
  ResetSpooler();
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 5, Records({Named(L"\\\\server")}));
  List(5, PRINTER_ENUM_LOCAL);
  const std::vector<SpoolerCall> again = ByNameCalls();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].name, std::wstring(L"\\\\server"));
  EXPECT_EQ(again[0].level, 1u);
}

TEST_F(ByNameTest, NeededWithoutRecordsWritesNothingUnderTheEntry) {
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 4, Records({Named(L"A"), Named(L"B")}));
  ScriptedAnswer refused;
  refused.needed = 200;
  refused.count = 0;
  ScriptAnswer(PRINTER_ENUM_NAME, L"A", 1, refused);
  EXPECT_EQ(List(4, PRINTER_ENUM_LOCAL), "- A\n- B\n= TOTAL: 2\n");
  EXPECT_EQ(ByNameCalls()[1].cbBuf, 328u);
}

TEST_F(ByNameTest, NestedNamesAreNeverExpandedAndBadOnesAreEmpty) {
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 1, Records({Named(L"Top")}));
  ScriptedAnswer nested = Records({Named(L"Inner"), NullName(), OutsideName()});
  ScriptAnswer(PRINTER_ENUM_NAME, L"Top", 1, nested);
  // Would show if a nested name were expanded in turn.
  ScriptAnswer(PRINTER_ENUM_NAME, L"Inner", 1, Records({Named(L"Deeper")}));
  EXPECT_EQ(List(1, PRINTER_ENUM_LOCAL),
            "- Top\n--> Inner\n--> \n--> \n= TOTAL: 1\n");
  EXPECT_EQ(ByNameCalls().size(), 2u);
}

TEST_F(ByNameTest, NestedCountBeyondTheBufferReadsOnlyWhatFits) {
  ScriptAnswer(PRINTER_ENUM_LOCAL, nullptr, 2, Records({Named(L"Top")}));
  ScriptedAnswer nested = Records({Named(L"N1")});
  nested.count = 0x7FFFFFFF;
  ScriptAnswer(PRINTER_ENUM_NAME, L"Top", 1, nested);
  const std::string out = List(2, PRINTER_ENUM_LOCAL);

  const std::size_t fit = (LaidOutSize(1, nested) + 128) / sizeof(PRINTER_INFO_1);
  std::size_t nested_lines = 0;
  for (std::size_t at = out.find("--> "); at != std::string::npos;
       at = out.find("--> ", at + 1)) {
    ++nested_lines;
  }
  EXPECT_EQ(nested_lines, fit);
  EXPECT_EQ(out.rfind("- Top\n--> N1\n", 0), 0u) << out;
  EXPECT_NE(out.find("= TOTAL: 1\n"), std::string::npos) << out;
}

}  // namespace
