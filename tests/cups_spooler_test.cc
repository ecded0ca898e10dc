// The Linux spooler's EnumPrintersW, called directly against the private
// servers that tests/cups/cups_end_to_end.sh starts: the records it lays out,
// the sizes it reports and the IPP requests it sends. The script passes, in
// the environment, CUPS_SERVER (the server), CUPS_ACCESS_LOG (its access
// log), CUPS_LOCAL_QUEUES (a file with the local queues' names, as lpstat
// lists them) and CUPS_REMOTE_QUEUE (the one remote queue's name).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cups_spooler_calls.h"
#include "spooler/spooler.h"

namespace {

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
