// The Linux spooler's EnumPrintersW, called directly against the private
// servers that tests/cups/cups_end_to_end.sh starts: the records it lays out,
// the sizes it reports and the IPP requests it sends. The script passes, in
// the environment, CUPS_SERVER (the server), CUPS_ACCESS_LOG (its access
// log), CUPS_LOCAL_QUEUES (a file with the local queues' names, as lpstat
// lists them) and CUPS_REMOTE_QUEUE (the one remote queue's name).
#include <gtest/gtest.h>

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "report/wide_output.h"
#include "spooler/spooler.h"

namespace {

const BYTE kUntouched = 0xAB;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::vector<std::string> FileLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::size_t CountInFile(const std::string& path, const std::string& text) {
  std::size_t count = 0;
  for (const std::string& line : FileLines(path)) {
    if (line.find(text) != std::string::npos) ++count;
  }
  return count;
}

// The CUPS-Get-Printers requests the server has logged so far. A request of
// another kind is sent first and waited for in the log: the server handles
// requests one after another, so every request sent before it has been
// logged by then.
std::size_t RequestsSoFar() {
  const std::string log = Environment("CUPS_ACCESS_LOG");
  const std::size_t markers = CountInFile(log, "CUPS-Get-Default");
  ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT,
                          ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
  for (int i = 0; i < 100 && CountInFile(log, "CUPS-Get-Default") == markers;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return CountInFile(log, "CUPS-Get-Printers");
}

// The UTF-8 form of a string in a block, for comparing with lpstat's lines.
// Read unit by unit, as the block may sit at any address.
std::string Utf8(LPCWSTR text) {
  if (text == nullptr) return "(null)";
  std::wstring wide;
  const BYTE* at = reinterpret_cast<const BYTE*>(text);
  for (;; at += sizeof(WCHAR)) {
    WCHAR unit;
    std::memcpy(&unit, at, sizeof unit);
    if (unit == 0) break;
    wide.push_back(unit);
  }
  return EncodeUtf8(wide.data(), wide.size());
}

// One call, and what it cost.
struct Call {
  BOOL result = FALSE;
  DWORD needed = 0;
  DWORD returned = 0;
  std::size_t requests = 0;
};

Call Enumerate(DWORD flags, const wchar_t* name, DWORD level, BYTE* buffer,
               DWORD cbBuf) {
  Call call;
  const std::size_t before = RequestsSoFar();
  std::wstring name_copy = name == nullptr ? L"" : name;
  call.needed = 0xDEAD;
  call.returned = 0xBEEF;
  call.result = EnumPrintersW(flags, name == nullptr ? nullptr : name_copy.data(),
                              level, buffer, cbBuf, &call.needed,
                              &call.returned);
  call.requests = RequestsSoFar() - before;
  return call;
}

std::size_t RecordSize(DWORD level) {
  switch (level) {
    case 1: return sizeof(PRINTER_INFO_1);
    case 2: return sizeof(PRINTER_INFO_2);
    case 4: return sizeof(PRINTER_INFO_4);
    default: return sizeof(PRINTER_INFO_5);
  }
}

// Every string pointer of the k-th record at the level.
std::vector<LPWSTR> StringFields(DWORD level, const BYTE* block,
                                 std::size_t k) {
  const BYTE* at = block + k * RecordSize(level);
  switch (level) {
    case 1: {
      PRINTER_INFO_1 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pDescription, info.pName, info.pComment};
    }
    case 2: {
      PRINTER_INFO_2 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pServerName, info.pPrinterName, info.pShareName,
              info.pPortName,   info.pDriverName,  info.pComment,
              info.pLocation,   info.pSepFile,     info.pPrintProcessor,
              info.pDatatype,   info.pParameters};
    }
    case 4: {
      PRINTER_INFO_4 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pPrinterName, info.pServerName};
    }
    default: {
      PRINTER_INFO_5 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pPrinterName, info.pPortName};
    }
  }
}

// The name field of the k-th record: pName at level 1, pPrinterName else.
LPWSTR NameField(DWORD level, const BYTE* block, std::size_t k) {
  return StringFields(level, block, k)[level == 1 || level == 2 ? 1 : 0];
}

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
                          DWORD count) {
  const std::size_t strings_start = count * RecordSize(level);
  ASSERT_LE(strings_start, needed);
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  for (std::size_t k = 0; k < count; ++k) {
    for (LPWSTR text : StringFields(level, block, k)) {
      if (text == nullptr) continue;
      const BYTE* at = reinterpret_cast<const BYTE*>(text);
      ASSERT_GE(at, block + strings_start) << "record " << k;
      ASSERT_LT(at, block + needed) << "record " << k;
      std::size_t offset = static_cast<std::size_t>(at - block);
      std::size_t end = offset;
      for (;; end += sizeof(WCHAR)) {
        ASSERT_LE(end + sizeof(WCHAR), needed) << "unterminated, record " << k;
        WCHAR unit;
        std::memcpy(&unit, block + end, sizeof unit);
        if (unit == 0) break;
      }
      spans.emplace_back(offset, end + sizeof(WCHAR));
    }
  }
  std::sort(spans.begin(), spans.end());
  std::size_t used = strings_start;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (i > 0) {
      EXPECT_GE(spans[i].first, spans[i - 1].second) << "overlap";
    }
    used += spans[i].second - spans[i].first;
  }
  EXPECT_EQ(used, needed) << "needed is not the exact size";
}

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

std::size_t CupsSpoolerTest::before_run_ = 0;

TEST_F(CupsSpoolerTest, LocalLevelsSizeExactlyAndFillOnlyWhatFits) {
  for (DWORD level : {1u, 2u, 4u, 5u}) {
    SCOPED_TRACE("level " + std::to_string(level));
    const Call sizing = Enumerate(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0);
    EXPECT_EQ(RunRequests(), 1u);
    EXPECT_EQ(sizing.returned, 0u);
    ASSERT_GE(sizing.needed, local_.size() * RecordSize(level));

    // One byte short: nothing written, nothing counted, the same size.
    std::vector<BYTE> short_block(sizing.needed - 1, kUntouched);
    const Call too_small = Enumerate(PRINTER_ENUM_LOCAL, nullptr, level,
                                     short_block.data(), sizing.needed - 1);
    EXPECT_EQ(too_small.requests, 0u);
    EXPECT_EQ(too_small.returned, 0u);
    EXPECT_EQ(too_small.needed, sizing.needed);
    EXPECT_FALSE(too_small.result);
    EXPECT_EQ(std::count(short_block.begin(), short_block.end(), kUntouched),
              static_cast<std::ptrdiff_t>(short_block.size()));

    // Exactly the size: every record, laid out as the platform does.
    std::vector<BYTE> exact(sizing.needed, kUntouched);
    const Call filled = Enumerate(PRINTER_ENUM_LOCAL, nullptr, level,
                                  exact.data(), sizing.needed);
    EXPECT_EQ(filled.requests, 0u);
    EXPECT_TRUE(filled.result);
    EXPECT_EQ(filled.needed, sizing.needed);
    ASSERT_EQ(filled.returned, local_.size());
    ExpectPlatformLayout(level, exact.data(), filled.needed, filled.returned);
    for (std::size_t k = 0; k < local_.size(); ++k) {
      EXPECT_EQ(Utf8(NameField(level, exact.data(), k)), local_[k]);
    }

    // The spare bytes of a larger block are left alone.
    std::vector<BYTE> roomy(sizing.needed + 128, kUntouched);
    const Call spare = Enumerate(PRINTER_ENUM_LOCAL, nullptr, level,
                                 roomy.data(), sizing.needed + 128);
    ASSERT_EQ(spare.returned, local_.size());
    EXPECT_EQ(std::count(roomy.begin() + sizing.needed, roomy.end(), kUntouched),
              128);
  }
}

TEST_F(CupsSpoolerTest, LevelFieldsCarryTheQueueAttributes) {
  // Office and Büro-Drucker are two of the standard test queues: Office
  // shared, with the information "Office laser", both in "Room 1".
  std::size_t office = local_.size();
  std::size_t buero = local_.size();
  for (std::size_t k = 0; k < local_.size(); ++k) {
    if (local_[k] == "Office") office = k;
    if (local_[k] == "Büro-Drucker") buero = k;
  }
  ASSERT_LT(office, local_.size());
  ASSERT_LT(buero, local_.size());

  std::vector<BYTE> block(16384);
  const DWORD size = static_cast<DWORD>(block.size());

  ASSERT_EQ(Enumerate(PRINTER_ENUM_LOCAL, nullptr, 1, block.data(), size)
                .returned, local_.size());
  const auto one = RecordAt<PRINTER_INFO_1>(block.data(), office);
  EXPECT_EQ(one.Flags, static_cast<DWORD>(PRINTER_ENUM_ICON8));
  EXPECT_EQ(Utf8(one.pDescription), "Office,Local Raw Printer,Room 1");
  EXPECT_EQ(Utf8(one.pComment), "Office laser");

  ASSERT_EQ(Enumerate(PRINTER_ENUM_LOCAL, nullptr, 2, block.data(), size)
                .returned, local_.size());
  const auto two = RecordAt<PRINTER_INFO_2>(block.data(), office);
  EXPECT_EQ(two.pServerName, nullptr);
  EXPECT_EQ(Utf8(two.pShareName), "Office");
  EXPECT_EQ(Utf8(two.pPortName), "file:///dev/null");
  EXPECT_EQ(Utf8(two.pDriverName), "Local Raw Printer");
  EXPECT_EQ(Utf8(two.pComment), "Office laser");
  EXPECT_EQ(Utf8(two.pLocation), "Room 1");
  EXPECT_EQ(two.pDevMode, nullptr);
  EXPECT_EQ(two.pSecurityDescriptor, nullptr);
  EXPECT_EQ(two.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL |
                                               PRINTER_ATTRIBUTE_SHARED));
  EXPECT_EQ(two.Status, 0u);
  EXPECT_EQ(two.cJobs, 0u);
  const auto two_unshared = RecordAt<PRINTER_INFO_2>(block.data(), buero);
  EXPECT_EQ(two_unshared.pShareName, nullptr);
  EXPECT_EQ(Utf8(two_unshared.pComment), "Ümlaut queue");
  EXPECT_EQ(two_unshared.Attributes,
            static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));

  ASSERT_EQ(Enumerate(PRINTER_ENUM_LOCAL, nullptr, 4, block.data(), size)
                .returned, local_.size());
  const auto four = RecordAt<PRINTER_INFO_4>(block.data(), office);
  EXPECT_EQ(four.pServerName, nullptr);
  EXPECT_EQ(four.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL |
                                                PRINTER_ATTRIBUTE_SHARED));

  ASSERT_EQ(Enumerate(PRINTER_ENUM_LOCAL, nullptr, 5, block.data(), size)
                .returned, local_.size());
  const auto five = RecordAt<PRINTER_INFO_5>(block.data(), buero);
  EXPECT_EQ(Utf8(five.pPortName), "file:///dev/null");
  EXPECT_EQ(five.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
  EXPECT_EQ(five.DeviceNotSelectedTimeout, 0u);
  EXPECT_EQ(five.TransmissionRetryTimeout, 0u);
}

TEST_F(CupsSpoolerTest, ConnectionsAreTheRemoteQueues) {
  std::vector<BYTE> block(4096);
  const Call call = Enumerate(PRINTER_ENUM_CONNECTIONS, nullptr, 2,
                              block.data(), static_cast<DWORD>(block.size()));
  EXPECT_EQ(RunRequests(), 1u);
  ASSERT_EQ(call.returned, 1u);
  ExpectPlatformLayout(2, block.data(), call.needed, call.returned);
  const auto info = RecordAt<PRINTER_INFO_2>(block.data(), 0);
  EXPECT_EQ(Utf8(info.pPrinterName), remote_);
  // It points at the second private server's queue.
  EXPECT_EQ(Utf8(info.pServerName), "\\\\127.0.0.1");
  const std::string port = Utf8(info.pPortName);
  EXPECT_EQ(port.rfind("ipp://127.0.0.1:", 0), 0u) << port;
  EXPECT_NE(port.find("/printers/Shared"), std::string::npos) << port;
  EXPECT_EQ(info.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK));
}

TEST_F(CupsSpoolerTest, TheServerEntriesAndTheirExpansion) {
  std::vector<BYTE> block(16384);
  const DWORD size = static_cast<DWORD>(block.size());
  const Call servers = Enumerate(PRINTER_ENUM_REMOTE, nullptr, 1, block.data(),
                                 size);
  EXPECT_EQ(RunRequests(), 1u);
  // The server itself, then the one the remote queue prints to.
  ASSERT_EQ(servers.returned, 2u);
  ExpectPlatformLayout(1, block.data(), servers.needed, servers.returned);
  const auto own = RecordAt<PRINTER_INFO_1>(block.data(), 0);
  EXPECT_EQ(Utf8(own.pName), "\\\\localhost");
  EXPECT_NE(own.Flags & PRINTER_ENUM_CONTAINER, 0u);
  const std::string other =
      Utf8(RecordAt<PRINTER_INFO_1>(block.data(), 1).pName);
  EXPECT_EQ(other.rfind("\\\\127.0.0.1:", 0), 0u) << other;

  // By the server's name (in any case): every queue, remote ones too, at
  // level 1, named from the name asked by; and nothing asked again.
  for (const wchar_t* name : {L"\\\\localhost", L"\\\\LocalHost"}) {
    const Call expanded = Enumerate(PRINTER_ENUM_NAME, name, 1, block.data(),
                                    size);
    EXPECT_EQ(expanded.requests, 0u);
    ASSERT_EQ(expanded.returned, local_.size() + 1);
    ExpectPlatformLayout(1, block.data(), expanded.needed, expanded.returned);
    std::vector<std::string> names;
    for (std::size_t k = 0; k < expanded.returned; ++k) {
      names.push_back(Utf8(RecordAt<PRINTER_INFO_1>(block.data(), k).pName));
    }
    const std::string prefix = Utf8(name) + "\\";
    EXPECT_NE(std::find(names.begin(), names.end(), prefix + remote_),
              names.end());
    for (const std::string& queue : local_) {
      EXPECT_NE(std::find(names.begin(), names.end(), prefix + queue),
                names.end())
          << queue;
    }
  }

  // By the other server's name: the queue it shares.
  const std::wstring other_name(other.begin(), other.end());
  const Call shared = Enumerate(PRINTER_ENUM_NAME, other_name.c_str(), 1,
                                block.data(), size);
  ASSERT_EQ(shared.returned, 1u);
  EXPECT_EQ(Utf8(RecordAt<PRINTER_INFO_1>(block.data(), 0).pName),
            other + "\\Shared");
}

TEST_F(CupsSpoolerTest, WhatThePlatformRefusesCostsNoRequest) {
  std::vector<BYTE> block(4096, kUntouched);
  const DWORD size = static_cast<DWORD>(block.size());
  struct Refused {
    DWORD flags;
    const wchar_t* name;
    DWORD level;
  };
  const Refused refused[] = {
      {PRINTER_ENUM_NAME, L"Office", 1},          // a queue's name
      {PRINTER_ENUM_NAME, L"\\\\localhost", 4},   // level 4 names no server
      {PRINTER_ENUM_NAME, nullptr, 4},
      {PRINTER_ENUM_NAME, L"", 1},
      {PRINTER_ENUM_NAME, L"\\\\localhost\\Office", 1},
      {PRINTER_ENUM_NAME, L"\\\\localhos", 1},
      {PRINTER_ENUM_NAME, nullptr, 1},
      {PRINTER_ENUM_NETWORK, nullptr, 1},
      {PRINTER_ENUM_NETWORK | PRINTER_ENUM_SHARED, nullptr, 1},
      {PRINTER_ENUM_REMOTE, nullptr, 2},
      {PRINTER_ENUM_REMOTE, nullptr, 4},
      {PRINTER_ENUM_REMOTE, nullptr, 5},
      {PRINTER_ENUM_LOCAL, nullptr, 3},
      {PRINTER_ENUM_LOCAL, nullptr, 0},
  };
  for (const Refused& request : refused) {
    const Call call =
        Enumerate(request.flags, request.name, request.level, block.data(), size);
    EXPECT_EQ(call.needed, 0u) << std::hex << request.flags << " " << request.level;
    EXPECT_EQ(call.returned, 0u);
    EXPECT_EQ(call.requests, 0u) << std::hex << request.flags << " " << request.level;
  }
  EXPECT_EQ(std::count(block.begin(), block.end(), kUntouched),
            static_cast<std::ptrdiff_t>(block.size()));
}

// The names in a block of count records at the level.
std::vector<std::string> Names(DWORD level, const BYTE* block, DWORD count) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < count; ++k) {
    names.push_back(Utf8(NameField(level, block, k)));
  }
  return names;
}

TEST_F(CupsSpoolerTest, ByNameAtLevels2And5AsThePlatformAnswers) {
  std::vector<BYTE> block(16384);
  const DWORD size = static_cast<DWORD>(block.size());
  for (DWORD level : {2u, 5u}) {
    SCOPED_TRACE("level " + std::to_string(level));
    // No name, or an empty one: the local computer's printers, as Local
    // lists them, sized and filled the same way.
    const DWORD local =
        Enumerate(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0).needed;
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L""}) {
      const Call sizing = Enumerate(PRINTER_ENUM_NAME, name, level, nullptr, 0);
      EXPECT_FALSE(sizing.result);
      EXPECT_EQ(sizing.needed, local);
      EXPECT_EQ(sizing.returned, 0u);
      std::vector<BYTE> exact(local);
      const Call filled =
          Enumerate(PRINTER_ENUM_NAME, name, level, exact.data(), local);
      EXPECT_TRUE(filled.result);
      EXPECT_EQ(filled.requests, 0u);
      ASSERT_EQ(filled.returned, local_.size());
      ExpectPlatformLayout(level, exact.data(), filled.needed, filled.returned);
      EXPECT_EQ(Names(level, exact.data(), filled.returned), local_);
    }

    // The server's own name: every queue, the remote one too, named after
    // the name asked by, and at level 2 on that server.
    const Call own =
        Enumerate(PRINTER_ENUM_NAME, L"\\\\LocalHost", level, block.data(), size);
    EXPECT_TRUE(own.result);
    ASSERT_EQ(own.returned, local_.size() + 1);
    ExpectPlatformLayout(level, block.data(), own.needed, own.returned);
    const std::vector<std::string> names =
        Names(level, block.data(), own.returned);
    for (const std::string& queue : local_) {
      EXPECT_NE(std::find(names.begin(), names.end(), "\\\\LocalHost\\" + queue),
                names.end()) << queue;
    }
    EXPECT_NE(std::find(names.begin(), names.end(),
                        "\\\\LocalHost\\" + remote_), names.end());
    if (level == 2) {
      for (std::size_t k = 0; k < own.returned; ++k) {
        EXPECT_EQ(Utf8(RecordAt<PRINTER_INFO_2>(block.data(), k).pServerName),
                  "\\\\LocalHost");
      }
    }
  }

  // The other server: the queue it shares, with its details.
  ASSERT_EQ(Enumerate(PRINTER_ENUM_REMOTE, nullptr, 1, block.data(), size)
                .returned, 2u);
  const std::string other =
      Utf8(RecordAt<PRINTER_INFO_1>(block.data(), 1).pName);
  const std::wstring other_name(other.begin(), other.end());
  const Call shared = Enumerate(PRINTER_ENUM_NAME, other_name.c_str(), 2,
                                block.data(), size);
  ASSERT_EQ(shared.returned, 1u);
  ExpectPlatformLayout(2, block.data(), shared.needed, shared.returned);
  const auto info = RecordAt<PRINTER_INFO_2>(block.data(), 0);
  EXPECT_EQ(Utf8(info.pPrinterName), other + "\\Shared");
  EXPECT_EQ(Utf8(info.pServerName), other);
  EXPECT_EQ(Utf8(info.pShareName), "Shared");
  EXPECT_EQ(Utf8(info.pComment), "Shared on the second server");
  EXPECT_EQ(Utf8(info.pPortName), "file:///dev/null");
  EXPECT_EQ(info.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL |
                                                PRINTER_ATTRIBUTE_SHARED));
}

TEST_F(CupsSpoolerTest, AnUnalignedBlockIsFilledThroughout) {
  DWORD needed = 0;
  DWORD returned = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
  std::vector<BYTE> block(needed + 1);
  BYTE* odd = block.data() + 1;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, odd, needed, &needed, &returned);
  ASSERT_EQ(returned, local_.size());
  ExpectPlatformLayout(2, odd, needed, returned);
  for (std::size_t k = 0; k < local_.size(); ++k) {
    EXPECT_EQ(Utf8(NameField(2, odd, k)), local_[k]);
  }
}

TEST_F(CupsSpoolerTest, MissingCountersAreRefused) {
  DWORD value = 0;
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0,
                             nullptr, &value));
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0,
                             &value, nullptr));
}

TEST_F(CupsSpoolerTest, ARunSeesOneViewWhileTheServerChanges) {
  // The sizing call measures the run's view; a queue added on the server
  // before the filling call changes nothing in this run: the block the size
  // was given is filled exactly, at every scope and level.
  const DWORD needed =
      Enumerate(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0).needed;
  ASSERT_GT(needed, 0u);
  EXPECT_EQ(RunRequests(), 1u);
  // (lpstat asks the server too: from here on the calls' own requests are
  // counted.)
  ASSERT_EQ(std::system("lpadmin -p Neu-im-Lauf -E -v file:///dev/null -m raw"
                        " 2>/dev/null"), 0);
  ASSERT_EQ(std::system("lpstat -e | grep -qx Neu-im-Lauf"), 0)
      << "the server has the new queue";

  std::vector<BYTE> exact(needed, kUntouched);
  const Call filled =
      Enumerate(PRINTER_ENUM_LOCAL, nullptr, 2, exact.data(), needed);
  EXPECT_TRUE(filled.result);
  EXPECT_EQ(filled.needed, needed);
  EXPECT_EQ(filled.requests, 0u);
  ASSERT_EQ(filled.returned, local_.size());
  ExpectPlatformLayout(2, exact.data(), needed, filled.returned);
  for (DWORD level : {1u, 4u, 5u}) {
    const Call sizing = Enumerate(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0);
    std::vector<BYTE> block(sizing.needed);
    const Call again = Enumerate(PRINTER_ENUM_LOCAL, nullptr, level,
                                 block.data(), sizing.needed);
    EXPECT_EQ(again.returned, local_.size()) << "level " << level;
    EXPECT_EQ(sizing.requests + again.requests, 0u) << "level " << level;
  }
  EXPECT_EQ(std::system("lpadmin -x Neu-im-Lauf"), 0);
}

}  // namespace
