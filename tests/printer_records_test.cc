// The record layout of the CUPS spooler's answers, from queues made up here:
// the parts a real server's queues do not show (absent attributes, the
// server's record, levels without a record type).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "spooler/cups/printer_records.h"

namespace {

std::wstring StringAt(LPCWSTR text) {
  std::wstring out;
  const BYTE* at = reinterpret_cast<const BYTE*>(text);
  for (;; at += sizeof(WCHAR)) {
    WCHAR unit;
    std::memcpy(&unit, at, sizeof unit);
    if (unit == 0) return out;
    out.push_back(unit);
  }
}

TEST(PrinterRecords, AnAbsentAttributeIsANullPointerAndTakesNoBytes) {
  const std::vector<CupsQueue> queues = {
      {{"printer-name", "Q"}, {"printer-info", ""}}};
  DWORD returned = 0;
  const DWORD needed = LayOutQueues(2, queues, nullptr, 0, returned);
  // The record, "Q" and the empty printer-info; nothing else.
  EXPECT_EQ(needed, sizeof(PRINTER_INFO_2) + 2 * sizeof(WCHAR) + sizeof(WCHAR));
  EXPECT_EQ(returned, 0u);

  std::vector<BYTE> block(needed);
  EXPECT_EQ(LayOutQueues(2, queues, block.data(), needed, returned), needed);
  ASSERT_EQ(returned, 1u);
  PRINTER_INFO_2 info;
  std::memcpy(&info, block.data(), sizeof info);
  EXPECT_EQ(StringAt(info.pPrinterName), L"Q");
  EXPECT_EQ(StringAt(info.pComment), L"");
  EXPECT_EQ(info.pServerName, nullptr);
  EXPECT_EQ(info.pShareName, nullptr);
  EXPECT_EQ(info.pPortName, nullptr);
  EXPECT_EQ(info.pDriverName, nullptr);
  EXPECT_EQ(info.pLocation, nullptr);
}

TEST(PrinterRecords, TheServerRecord) {
  DWORD returned = 7;
  const DWORD needed = LayOutServer(L"\\\\localhost", nullptr, 0, returned);
  EXPECT_EQ(returned, 0u);
  // pDescription and pName, each "\\localhost" and its terminator.
  EXPECT_EQ(needed, sizeof(PRINTER_INFO_1) + 2 * 12 * sizeof(WCHAR));

  std::vector<BYTE> block(needed - 1, 0xAB);
  EXPECT_EQ(LayOutServer(L"\\\\localhost", block.data(), needed - 1, returned),
            needed);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(std::count(block.begin(), block.end(), 0xAB),
            static_cast<std::ptrdiff_t>(block.size()));

  block.assign(needed, 0);
  LayOutServer(L"\\\\localhost", block.data(), needed, returned);
  ASSERT_EQ(returned, 1u);
  PRINTER_INFO_1 info;
  std::memcpy(&info, block.data(), sizeof info);
  EXPECT_EQ(StringAt(info.pName), L"\\\\localhost");
  EXPECT_EQ(StringAt(info.pDescription), L"\\\\localhost");
  EXPECT_EQ(info.pComment, nullptr);
  EXPECT_NE(info.Flags & PRINTER_ENUM_CONTAINER, 0u);
}

TEST(PrinterRecords, NothingForNoQueuesOrALevelWithoutRecords) {
  DWORD returned = 7;
  EXPECT_EQ(LayOutQueues(2, {}, nullptr, 0, returned), 0u);
  EXPECT_EQ(returned, 0u);
  const std::vector<CupsQueue> queues = {{{"printer-name", "Q"}}};
  for (DWORD level : {0u, 3u, 6u, 7u}) {
    returned = 7;
    EXPECT_EQ(LayOutQueues(level, queues, nullptr, 0, returned), 0u);
    EXPECT_EQ(returned, 0u);
    EXPECT_FALSE(IsRecordLevel(level));
  }
}

}  // namespace
