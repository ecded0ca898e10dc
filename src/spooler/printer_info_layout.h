// Where things lie in each level's record type in a spooler's block.
#ifndef QUELVARO_SPOOLER_PRINTER_INFO_LAYOUT_H
#define QUELVARO_SPOOLER_PRINTER_INFO_LAYOUT_H

#include <cstddef>

#include "spooler/spooler.h"

// sizeof the PRINTER_INFO_n of level n (1, 2, 4, 5); 0 for a level without one.
inline std::size_t PrinterInfoSize(DWORD level) {
  switch (level) {
    case 1: return sizeof(PRINTER_INFO_1);
    case 2: return sizeof(PRINTER_INFO_2);
    case 4: return sizeof(PRINTER_INFO_4);
    case 5: return sizeof(PRINTER_INFO_5);
    default: return 0;
  }
}

// Where in the level's record type the name pointer sits: pName at level 1,
// pPrinterName at levels 2, 4 and 5 (and at any other, which has no record).
inline std::size_t PrinterNameOffset(DWORD level) {
  switch (level) {
    case 1: return offsetof(PRINTER_INFO_1, pName);
    case 2: return offsetof(PRINTER_INFO_2, pPrinterName);
    case 4: return offsetof(PRINTER_INFO_4, pPrinterName);
    default: return offsetof(PRINTER_INFO_5, pPrinterName);
  }
}

#endif  // QUELVARO_SPOOLER_PRINTER_INFO_LAYOUT_H
