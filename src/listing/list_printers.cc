// One scope at one level: an entry line per record, then the total.
#include <iostream>

#include "listing/listing.h"

void ListPrinters(DWORD level, DWORD flags) {
  DWORD total = 0;
  {
    std::int32_t count = 0;
    std::vector<BYTE> buffer = FillPrinterBuffer(flags, nullptr, level, count);
    if (buffer.empty()) return;  // the sizing call found nothing to list

    // A count beyond the records that fit in the block lists those that fit.
    const DWORD listed = RecordsInBuffer(level, buffer.size(), count);
    for (DWORD k = 0; k < listed; ++k) {
      ++total;
      std::optional<std::wstring> name = EntryName(level, buffer, k);
      if (!name) {
        // No name to show and none to ask by: an empty entry, not expanded.
        std::wcout << "- " << std::endl;
        continue;
      }
      std::wcout << "- " << NameAsShown(*name) << std::endl;
      ListByName(*name);
    }
  }
  std::wcout << "= TOTAL: " << total << std::endl;
}
