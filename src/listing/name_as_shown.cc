// Keeping a spooler's name to its line, and the terminal to itself.
#include <type_traits>

#include "listing/listing.h"

std::wstring NameAsShown(const std::wstring& name) {
  std::wstring shown;
  shown.reserve(name.size());
  for (const wchar_t unit : name) {
    const auto c = static_cast<unsigned long>(
        static_cast<std::make_unsigned_t<wchar_t>>(unit));
    if (c < 0x20) {
      // CONTROL PICTURES: U+2400 SYMBOL FOR NULL onwards.
      shown.push_back(static_cast<wchar_t>(0x2400 + c));
    } else if (c == 0x7F) {
      shown.push_back(static_cast<wchar_t>(0x2421));  // SYMBOL FOR DELETE
    } else if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
      // No pictures for these: their code point, in plain text.
      shown += L"<U+";
      for (int shift = 12; shift >= 0; shift -= 4) {
        shown.push_back(L"0123456789ABCDEF"[(c >> shift) & 0xF]);
      }
      shown.push_back(L'>');
    } else {
      shown.push_back(unit);
    }
  }
  return shown;
}
