// The records every source of answers lays its printers out with: each
// printer once as a PRINTER_INFO_1 and a PRINTER_INFO_2 whose strings live in
// a text pool of its own, made when the source's answer is read; and the
// platform's layout of an answer in the caller's block, at any level, from
// those two.
#ifndef QUELVARO_SPOOLER_PRINTER_RECORDS_H
#define QUELVARO_SPOOLER_PRINTER_RECORDS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "spooler/spooler.h"

// The length of each string of a printer's records, in code units without
// the null (0 for a null pointer), in the order of the fields: pDescription,
// pName and pComment of level 1, then the eleven strings of level 2 from
// pServerName to pParameters. Laying a printer out, at every call and every
// level, copies its strings by these and counts none of them again.
struct PrinterTextLengths {
  std::uint32_t level1[3];
  std::uint32_t level2[11];
};

// A printer as the records show it: level 1 from level1, levels 2, 4 and 5
// from level2 (PRINTER_INFO_4 and _5 hold fields of PRINTER_INFO_2). Kept in
// a list by KeepPrinter, which measures its strings once; a record made and
// kept otherwise has measured false, and is measured each time it is laid
// out.
struct PrinterRecord {
  PRINTER_INFO_1 level1;
  PRINTER_INFO_2 level2;
  PrinterTextLengths lengths = {};
  bool measured = false;
};

// Text the records point into: blocks that never move once made, so a
// pointer into them stays good as long as the pool lives, moves included.
using TextPool = std::vector<std::vector<WCHAR>>;

// A source's printers, with the text they point into.
struct PrinterList {
  TextPool text;
  std::vector<PrinterRecord> printers;
};

// Copies text, with its terminating null, into the pool and returns where.
LPWSTR KeepText(TextPool& pool, std::wstring_view text);

// Keeps a printer at the end of the list, its strings measured; they must
// not change after this (they point into the list's pool, or live as long).
void KeepPrinter(PrinterList& list, const PRINTER_INFO_1& level1,
                 const PRINTER_INFO_2& level2);

// Keeps a level-1 description as the platform writes one,
// "name,driver,location", in the pool and returns where; a null part counts
// as empty.
LPWSTR KeepDescription(TextPool& pool, LPCWSTR name, LPCWSTR driver,
                       LPCWSTR location);

// Adds a printer to the list: its level-2 record as given, and the level-1
// record made from it as the platform makes one for a printer: the printer
// icon, pName the printer's name, pComment `comment` (what the source calls
// its comment), and pDescription "name,driver,place", kept in the list's
// pool, where place is where the source says the printer is (its
// pLocation; an SMB share's comment, a share having no location).
void AddPrinterRecord(PrinterList& list, const PRINTER_INFO_2& info,
                      LPWSTR comment, LPCWSTR place);

// Moves from's printers, with their text, to the end of to; from is left
// empty, holding nothing.
void AppendPrinters(PrinterList& to, PrinterList&& from);

// Whether the level has a record type here: 1, 2, 4 or 5.
bool IsRecordLevel(DWORD level);

// Lays out the level's records of the printers at the start of buffer, one
// after another, and their strings after the last record, each ended by a
// null. When prefix is not empty (a server's printers asked for by the
// server's name, "\\server"), each name begins with prefix and a backslash,
// as "\\server\printer": pName and pDescription at level 1, pPrinterName
// at levels 2, 4 and 5; and pServerName (levels 2 and 4) is prefix. Returns the
// exact size in bytes. When
// buffer holds at least that (cbBuf), fills it and stores the number of
// records in returned; otherwise writes nothing and stores 0. A size beyond
// what a DWORD can hold is reported as 0, with nothing written.
DWORD LayOutPrinters(DWORD level, const std::vector<const PrinterRecord*>& printers,
                     const std::wstring& prefix, LPBYTE buffer, DWORD cbBuf,
                     DWORD& returned);

// All the printers of a list, in order.
std::vector<const PrinterRecord*> AllPrinters(const PrinterList& list);

#endif  // QUELVARO_SPOOLER_PRINTER_RECORDS_H
