// The two-call sizing procedure every enumeration goes through.
#include <limits>

#include "listing/listing.h"

namespace {

// Spare bytes on top of what the sizing call asked for.
const DWORD kSpareBytes = 128;

}  // namespace

std::vector<BYTE> FillPrinterBuffer(DWORD flags, LPWSTR name, DWORD level,
                                    std::int32_t& count) {
  DWORD needed = 0;
  DWORD returned = 0;
  count = 0;
  EnumPrintersW(flags, name, level, nullptr, 0, &needed, &returned);
  if (needed == 0) return {};

  // A size within 128 bytes of the DWORD limit would wrap; ask for the
  // largest block a DWORD can describe instead.
  const DWORD most = std::numeric_limits<DWORD>::max();
  const DWORD size = needed > most - kSpareBytes ? most : needed + kSpareBytes;
  std::vector<BYTE> buffer(size);
  returned = 0;
  EnumPrintersW(flags, name, level, buffer.data(), size, &needed, &returned);
  count = static_cast<std::int32_t>(returned);
  return buffer;
}
