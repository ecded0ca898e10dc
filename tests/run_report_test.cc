// The whole run through the scripted spooler: every byte of the report and
// every call, in order.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "capture.h"
#include "report/report.h"
#include "scripted_spooler.h"

namespace {

const DWORD kScopeFlags[] = {0x02, 0x22, 0x04, 0x40, 0x60, 0x10};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class RunReportTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSpooler(); }
};

TEST_F(RunReportTest, NothingReportedGivesHeadingsAndClosingLines) {
  const std::string out = CaptureOutput(RunReport);
  EXPECT_EQ(out, ReadFile(QUELVARO_EXPECTED_DIR "/empty_report.txt"));
  EXPECT_EQ(out.find("Level 3"), std::string::npos);
}

TEST_F(RunReportTest, TwentyFourListingsInScopeTableOrderNeverLevel3) {
  CaptureOutput(RunReport);
  const std::vector<SpoolerCall>& calls = SpoolerCalls();
  ASSERT_EQ(calls.size(), 24u);
  std::size_t i = 0;
  for (DWORD flags : kScopeFlags) {
    for (DWORD level : {1u, 2u, 4u, 5u}) {
      EXPECT_EQ(calls[i].flags, flags) << "call " << i;
      EXPECT_EQ(calls[i].level, level) << "call " << i;
      EXPECT_FALSE(calls[i].name);
      EXPECT_FALSE(calls[i].buffer);
      EXPECT_EQ(calls[i].cbBuf, 0u);
      ++i;
    }
  }
}

TEST_F(RunReportTest, ListingsStandUnderTheirScopeAndLevel) {
  ScriptAnswer(0x22, nullptr, 4, Records({Named(L"Shared A"), Named(L"Shared B")}));
  ScriptedAnswer refused;
  refused.needed = 64;
  refused.count = 0;
  ScriptAnswer(0x10, nullptr, 1, refused);

  const std::string out = CaptureOutput(RunReport);
  std::string expected = ReadFile(QUELVARO_EXPECTED_DIR "/empty_report.txt");
  const std::string shared4 = "====== Local | Shared ======\n"
                              "------ Level 1 ------\n------ Level 2 ------\n"
                              "------ Level 4 ------\n";
  expected.insert(expected.find(shared4) + shared4.size(),
                  "- Shared A\n- Shared B\n= TOTAL: 2\n");
  const std::string remote1 = "====== Remote ======\n------ Level 1 ------\n";
  expected.insert(expected.find(remote1) + remote1.size(), "= TOTAL: 0\n");
  EXPECT_EQ(out, expected);

  // Each listing that found something made its filling call right after its
  // sizing call, with needed + 128.
  const std::vector<SpoolerCall>& calls = SpoolerCalls();
  std::size_t listings = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].flags == PRINTER_ENUM_NAME) continue;
    EXPECT_FALSE(calls[i].buffer);
    ++listings;
    if (calls[i].flags == 0x22 && calls[i].level == 4) {
      ASSERT_LT(i + 1, calls.size());
      EXPECT_TRUE(calls[i + 1].buffer);
      EXPECT_EQ(calls[i + 1].cbBuf,
                LaidOutSize(4, Records({Named(L"Shared A"), Named(L"Shared B")})) + 128);
      ++i;
    } else if (calls[i].flags == 0x10 && calls[i].level == 1) {
      ASSERT_LT(i + 1, calls.size());
      EXPECT_EQ(calls[i + 1].cbBuf, 64u + 128u);
      ++i;
    }
  }
  EXPECT_EQ(listings, 24u);
}

TEST_F(RunReportTest, TheWaitReadsOneCharacterOnly) {
  std::stringbuf input("xy\n");
  std::streambuf* const old = std::cin.rdbuf(&input);
  std::stringbuf bytes;
  std::streambuf* const old_out = std::cout.rdbuf(&bytes);
  std::wstringbuf wide;
  std::wstreambuf* const old_wide = std::wcout.rdbuf(&wide);
  RunReport();
  std::wcout.rdbuf(old_wide);
  std::cout.rdbuf(old_out);
  std::cin.rdbuf(old);
  EXPECT_EQ(input.str().substr(static_cast<std::size_t>(
                input.pubseekoff(0, std::ios::cur, std::ios::in))),
            "y\n");
  // And the closing lines are the last thing written, on the narrow stream.
  EXPECT_EQ(bytes.str(), "\nSuche beendet\nBeenden mit Enter\n");
}

}  // namespace
