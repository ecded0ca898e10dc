// The size of each level's record type in a spooler's block.
#ifndef QUELVARO_SPOOLER_PRINTER_INFO_SIZE_H
#define QUELVARO_SPOOLER_PRINTER_INFO_SIZE_H

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

#endif  // QUELVARO_SPOOLER_PRINTER_INFO_SIZE_H
