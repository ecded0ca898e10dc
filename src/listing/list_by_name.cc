// The by-name expansion: what the spooler reports under an entry's name.
#include <iostream>

#include "listing/listing.h"

void ListByName(std::wstring& name) {
  // Names beginning with "!!" are not expanded; every other name is.
  if (name.compare(0, 2, L"!!") == 0) return;

  std::int32_t count = 0;
  std::vector<BYTE> buffer =
      FillPrinterBuffer(PRINTER_ENUM_NAME, name.data(), 1, count);
  const DWORD nested = RecordsInBuffer(1, buffer.size(), count);
  for (DWORD j = 0; j < nested; ++j) {
    std::optional<std::wstring> nested_name = EntryName(1, buffer, j);
    std::wcout << "--> " << NameAsShown(nested_name.value_or(std::wstring()))
               << std::endl;
  }
}
