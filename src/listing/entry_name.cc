// Reading a record's name out of a spooler block without trusting it.
#include <cstddef>
#include <cstring>

#include "listing/listing.h"
#include "spooler/printer_info_layout.h"

namespace {

// The string text points at, when it starts inside the buffer and its
// terminator lies inside it too. Code units are read with memcpy, so a
// pointer with odd alignment is read safely; the name is copied out in one
// piece once its end is known.
std::optional<std::wstring> StringInBuffer(const std::vector<BYTE>& buffer,
                                           LPCWSTR text) {
  if (text == nullptr) return std::nullopt;
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(buffer.data());
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(text);
  if (at < start || at - start >= buffer.size()) return std::nullopt;

  const std::size_t first = at - start;
  for (std::size_t offset = first;
       buffer.size() - offset >= sizeof(WCHAR); offset += sizeof(WCHAR)) {
    WCHAR unit;
    std::memcpy(&unit, buffer.data() + offset, sizeof unit);
    if (unit != 0) continue;
    std::wstring name((offset - first) / sizeof(WCHAR), L'\0');
    std::memcpy(&name[0], buffer.data() + first, offset - first);
    return name;
  }
  return std::nullopt;  // no terminator before the end of the block
}

}  // namespace

DWORD RecordsInBuffer(DWORD level, std::size_t size, std::int32_t count) {
  if (count <= 0) return 0;
  const std::size_t record = PrinterInfoSize(level);
  if (record == 0) return static_cast<DWORD>(count);  // nothing is read
  const std::size_t fit = size / record;
  return fit < static_cast<std::size_t>(count) ? static_cast<DWORD>(fit)
                                               : static_cast<DWORD>(count);
}

std::optional<std::wstring> EntryName(DWORD level,
                                      const std::vector<BYTE>& buffer,
                                      DWORD k) {
  const std::size_t record = PrinterInfoSize(level);
  if (record == 0) return std::wstring(L"ERROR");

  const std::size_t at =
      static_cast<std::size_t>(k) * record + PrinterNameOffset(level);
  if (at > buffer.size() || buffer.size() - at < sizeof(LPWSTR)) {
    return std::nullopt;
  }
  LPWSTR text;
  std::memcpy(&text, buffer.data() + at, sizeof text);
  return StringInBuffer(buffer, text);
}
