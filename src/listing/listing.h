// Listing what the spooler reports: one scope at one level, and the
// by-name expansion of each entry listed.
#ifndef QUELVARO_LISTING_LISTING_H
#define QUELVARO_LISTING_LISTING_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "spooler/spooler.h"

// Lists every record the spooler returns for (level, flags): an entry line
// each, its nested lines beneath it, then the total line. A level whose sizing
// call reports no bytes writes nothing.
void ListPrinters(DWORD level, DWORD flags);

// Writes the nested entry lines of a by-name, level-1 enumeration of name,
// unless the name begins with "!!".
void ListByName(std::wstring& name);

// The sizing procedure: a sizing call with no buffer and cbBuf 0, then, when
// it reported a size, a filling call into a new block of that size plus 128
// spare bytes. Returns the block (empty when there is nothing to list) and
// stores the record count of the filling call, read as signed.
std::vector<BYTE> FillPrinterBuffer(DWORD flags, LPWSTR name, DWORD level,
                                    std::int32_t& count);

// How many of count records of the level's type lie wholly in a block of size
// bytes; never more than count, never less than 0.
DWORD RecordsInBuffer(DWORD level, std::size_t size, std::int32_t count);

// The name of the k-th record of the level's type: pName at level 1,
// pPrinterName at levels 2, 4 and 5, "ERROR" at any other level. Empty when
// the record's pointer is null or its name does not lie, terminator and all,
// inside the buffer.
std::optional<std::wstring> EntryName(DWORD level,
                                      const std::vector<BYTE>& buffer, DWORD k);

// The text an entry or nested entry line shows for name: the name as it came,
// except for the characters that act on a terminal or a line rather than
// show: each C0 control (tab, line feed and escape among them) as its
// control picture, U+2400 to U+241F, DEL as U+2421, and each C1 control and
// the line and paragraph separators U+2028 and U+2029 as "<U+XXXX>". So a
// name can neither end its line early and pass its remainder off as a line
// of the report, nor move, clear, retitle or link the terminal.
std::wstring NameAsShown(const std::wstring& name);

#endif  // QUELVARO_LISTING_LISTING_H
