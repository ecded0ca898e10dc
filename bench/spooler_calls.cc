#include "spooler_calls.h"

#include "listing/listing.h"

DWORD CallSpoolerAsListing(DWORD level, DWORD flags) {
  std::int32_t count = 0;
  std::vector<BYTE> buffer = FillPrinterBuffer(flags, nullptr, level, count);
  DWORD records = RecordsInBuffer(level, buffer.size(), count);
  const DWORD listed = records;
  for (DWORD k = 0; k < listed; ++k) {
    std::optional<std::wstring> name = EntryName(level, buffer, k);
    if (!name) continue;
    std::int32_t nested = 0;
    std::vector<BYTE> block =
        FillPrinterBuffer(PRINTER_ENUM_NAME, name->data(), 1, nested);
    records += RecordsInBuffer(1, block.size(), nested);
  }
  return records;
}
