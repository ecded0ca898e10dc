// What the CUPS spooler's direct tests share (cups_spooler_test.cc,
// cups_by_name_test.cc): the environment tests/cups/cups_end_to_end.sh
// passes, EnumPrintersW called and the requests it cost counted, the
// records read out of a block wherever it sits, and the platform's layout
// checked.
#ifndef QUELVARO_TESTS_CUPS_SPOOLER_CALLS_H
#define QUELVARO_TESTS_CUPS_SPOOLER_CALLS_H

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "spooler/spooler.h"

// What a block is filled with before a call, to see what the call wrote.
const BYTE kUntouched = 0xAB;

// The variable's value; empty when it is not set.
std::string Environment(const char* name);

// The lines of a file.
std::vector<std::string> FileLines(const std::string& path);

// The CUPS-Get-Printers requests the server has logged so far.
std::size_t RequestsSoFar();

// The UTF-8 form of a string in a block, for comparing with lpstat's lines.
std::string Utf8(LPCWSTR text);

// One call, and what it cost.
struct Call {
  BOOL result = FALSE;
  DWORD needed = 0;
  DWORD returned = 0;
  std::size_t requests = 0;
};

Call Enumerate(DWORD flags, const wchar_t* name, DWORD level, BYTE* buffer,
               DWORD cbBuf);

// sizeof the level's record.
std::size_t RecordSize(DWORD level);

// Every string pointer of the k-th record at the level.
std::vector<LPWSTR> StringFields(DWORD level, const BYTE* block,
                                 std::size_t k);

// The name field of the k-th record: pName at level 1, pPrinterName else.
LPWSTR NameField(DWORD level, const BYTE* block, std::size_t k);

// The k-th record of the type, read wherever the block sits.
template <typename Record>
Record RecordAt(const BYTE* block, std::size_t k) {
  Record record;
  std::memcpy(&record, block + k * sizeof(Record), sizeof record);
  return record;
}

// Checks the platform layout of count records in a block of needed bytes:
// records back to back from the start, every string after the last record
// and inside the block, no two strings sharing a byte, and the records and
// strings together taking exactly needed bytes.
void ExpectPlatformLayout(DWORD level, const BYTE* block, DWORD needed,
                          DWORD count);

class CupsSpoolerTest : public ::testing::Test {
 protected:
  // Every test of this process is one run of the spooler: it asks the server
  // once, at the first call that needs it, and never again.
  static void SetUpTestSuite() { before_run_ = RequestsSoFar(); }

  // The requests this process has sent so far.
  static std::size_t RunRequests() { return RequestsSoFar() - before_run_; }

  void SetUp() override {
    ASSERT_FALSE(Environment("CUPS_ACCESS_LOG").empty());
    local_ = FileLines(Environment("CUPS_LOCAL_QUEUES"));
    remote_ = Environment("CUPS_REMOTE_QUEUE");
    ASSERT_FALSE(local_.empty());
    ASSERT_FALSE(remote_.empty());
  }

  static std::size_t before_run_;
  std::vector<std::string> local_;
  std::string remote_;
};

#endif  // QUELVARO_TESTS_CUPS_SPOOLER_CALLS_H
