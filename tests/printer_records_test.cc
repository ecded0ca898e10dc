// The platform's layout of records made up here: the parts real answers do
// not show (absent fields, names asked by a server's name, levels without a
// record type, a text pool that grows).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "spooler/printer_records.h"

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

// One printer named name, with a comment and nothing else.
PrinterList OnePrinter(const std::wstring& name) {
  PrinterList list;
  PRINTER_INFO_1 one = {};
  one.pName = KeepText(list.text, name);
  one.pDescription = KeepText(list.text, name + L",,");
  one.pComment = KeepText(list.text, L"");
  PRINTER_INFO_2 two = {};
  two.pPrinterName = one.pName;
  two.pComment = one.pComment;
  list.printers.push_back({one, two});
  return list;
}

TEST(PrinterRecords, AnAbsentFieldIsANullPointerAndTakesNoBytes) {
  const PrinterList list = OnePrinter(L"Q");
  DWORD returned = 7;
  const DWORD needed =
      LayOutPrinters(2, AllPrinters(list), L"", nullptr, 0, returned);
  // The record, "Q" and the empty comment; nothing else.
  EXPECT_EQ(needed, sizeof(PRINTER_INFO_2) + 3 * sizeof(WCHAR));
  EXPECT_EQ(returned, 0u);

  std::vector<BYTE> block(needed - 1, 0xAB);
  EXPECT_EQ(LayOutPrinters(2, AllPrinters(list), L"", block.data(),
                           needed - 1, returned), needed);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(std::count(block.begin(), block.end(), 0xAB),
            static_cast<std::ptrdiff_t>(block.size()));

  block.assign(needed, 0);
  LayOutPrinters(2, AllPrinters(list), L"", block.data(), needed, returned);
  ASSERT_EQ(returned, 1u);
  PRINTER_INFO_2 info;
  std::memcpy(&info, block.data(), sizeof info);
  EXPECT_EQ(StringAt(info.pPrinterName), L"Q");
  EXPECT_EQ(StringAt(info.pComment), L"");
  EXPECT_EQ(info.pServerName, nullptr);
  EXPECT_EQ(info.pPortName, nullptr);
  EXPECT_EQ(info.pLocation, nullptr);
}

TEST(PrinterRecords, AskedByAServersNameTheNamesBeginWithIt) {
  const PrinterList list = OnePrinter(L"Büro");
  std::vector<BYTE> block(1024);
  DWORD returned = 0;
  const DWORD needed =
      LayOutPrinters(1, AllPrinters(list), L"\\\\Host:8631", block.data(),
                     static_cast<DWORD>(block.size()), returned);
  ASSERT_EQ(returned, 1u);
  PRINTER_INFO_1 info;
  std::memcpy(&info, block.data(), sizeof info);
  EXPECT_EQ(StringAt(info.pName), L"\\\\Host:8631\\Büro");
  EXPECT_EQ(StringAt(info.pDescription), L"\\\\Host:8631\\Büro,,");
  EXPECT_EQ(StringAt(info.pComment), L"");
  EXPECT_EQ(needed, sizeof info + (17 + 19 + 1) * sizeof(WCHAR));
}

TEST(PrinterRecords, AtLevels2And5AServersPrinterIsNamedAfterItAndOnIt) {
  PrinterList list = OnePrinter(L"Büro");
  list.printers[0].level2.pServerName = KeepText(list.text, L"\\\\ziel");
  list.printers[0].level2.pPortName = KeepText(list.text, L"ipp://ziel/q");
  const std::wstring server = L"\\\\Host:8631";
  std::vector<BYTE> block(1024);
  DWORD returned = 0;

  DWORD needed = LayOutPrinters(2, AllPrinters(list), server, block.data(),
                                static_cast<DWORD>(block.size()), returned);
  ASSERT_EQ(returned, 1u);
  PRINTER_INFO_2 two;
  std::memcpy(&two, block.data(), sizeof two);
  EXPECT_EQ(StringAt(two.pPrinterName), L"\\\\Host:8631\\Büro");
  EXPECT_EQ(StringAt(two.pServerName), server);
  EXPECT_EQ(StringAt(two.pPortName), L"ipp://ziel/q");
  EXPECT_EQ(StringAt(two.pComment), L"");
  // The record, the server, the name and the port, the comment.
  EXPECT_EQ(needed, sizeof two + (12 + 17 + 13 + 1) * sizeof(WCHAR));

  needed = LayOutPrinters(5, AllPrinters(list), server, block.data(),
                          static_cast<DWORD>(block.size()), returned);
  ASSERT_EQ(returned, 1u);
  PRINTER_INFO_5 five;
  std::memcpy(&five, block.data(), sizeof five);
  EXPECT_EQ(StringAt(five.pPrinterName), L"\\\\Host:8631\\Büro");
  EXPECT_EQ(StringAt(five.pPortName), L"ipp://ziel/q");
  EXPECT_EQ(needed, sizeof five + (17 + 13) * sizeof(WCHAR));
}

TEST(PrinterRecords, AKeptPrinterLaysOutByteForByteAsOneMeasuredWhenLaidOut) {
  PrinterList made = OnePrinter(L"Etikett ✓");
  PrinterRecord& printer = made.printers[0];
  printer.level2.pServerName = KeepText(made.text, L"\\\\fern");
  printer.level2.pShareName = printer.level2.pPrinterName;
  printer.level2.pPortName = KeepText(made.text, std::wstring(300, L'p'));
  printer.level2.pParameters = KeepText(made.text, L"");
  PrinterList kept;
  KeepPrinter(kept, printer.level1, printer.level2);
  ASSERT_FALSE(printer.measured);
  ASSERT_TRUE(kept.printers[0].measured);
  std::vector<BYTE> block(4096);
  for (DWORD level : {1u, 2u, 4u, 5u}) {
    for (const std::wstring prefix : {L"", L"\\\\srv"}) {
      DWORD returned = 0;
      const DWORD needed =
          LayOutPrinters(level, AllPrinters(kept), prefix, block.data(),
                         static_cast<DWORD>(block.size()), returned);
      ASSERT_EQ(returned, 1u);
      const std::vector<BYTE> from_kept(block.begin(), block.begin() + needed);
      std::fill(block.begin(), block.end(), 0xAB);
      EXPECT_EQ(LayOutPrinters(level, AllPrinters(made), prefix, block.data(),
                               static_cast<DWORD>(block.size()), returned),
                needed);
      EXPECT_TRUE(std::equal(from_kept.begin(), from_kept.end(), block.begin()))
          << "level " << level << " prefix " << prefix.size();
    }
  }
}

TEST(PrinterRecords, NothingForNoPrintersOrALevelWithoutRecords) {
  DWORD returned = 7;
  EXPECT_EQ(LayOutPrinters(2, {}, L"", nullptr, 0, returned), 0u);
  const PrinterList list = OnePrinter(L"Q");
  for (DWORD level : {0u, 3u, 6u}) {
    returned = 7;
    EXPECT_EQ(LayOutPrinters(level, AllPrinters(list), L"", nullptr, 0,
                             returned), 0u);
    EXPECT_EQ(returned, 0u);
    EXPECT_FALSE(IsRecordLevel(level));
  }
}

TEST(TextPool, WhatItKeepsStaysWhereItIsAsItGrowsAndMoves) {
  TextPool pool;
  std::vector<LPWSTR> kept;
  for (int i = 0; i < 20000; ++i) kept.push_back(KeepText(pool, std::to_wstring(i)));
  kept.push_back(KeepText(pool, std::wstring(40000, L'x')));
  const TextPool moved = std::move(pool);
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(kept[i], std::to_wstring(i));
  EXPECT_EQ(std::wstring(kept.back()), std::wstring(40000, L'x'));
  EXPECT_GT(moved.size(), 1u);
}

}  // namespace
