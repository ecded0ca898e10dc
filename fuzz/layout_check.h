// What every block of records must be, whatever the bytes they were made
// from: every record there, with a name; every string starting and ending
// inside the block, a string of characters (no surrogate, nothing above
// U+10FFFF); no field made from a device URI showing its user information.
#ifndef QUELVARO_FUZZ_LAYOUT_CHECK_H
#define QUELVARO_FUZZ_LAYOUT_CHECK_H

#include <vector>

#include "spooler/printer_records.h"

// Ends the run with __builtin_trap(), after a line on stderr saying what.
[[noreturn]] void Fault(const char* what);

// Lays the printers out at levels 1, 2, 4 and 5, asked by a server's name,
// into blocks of exactly the size measured, and checks each record.
void CheckPrinterLayout(const std::vector<const PrinterRecord*>& printers);

#endif  // QUELVARO_FUZZ_LAYOUT_CHECK_H
