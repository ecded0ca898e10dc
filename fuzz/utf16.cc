// Decoding UTF-16 by the rules of RFC 2781.
#include "utf16.h"

std::optional<std::u32string> DecodeUtf16(const std::u16string& units) {
  std::u32string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t c = units[i];
    if (c >= 0xDC00 && c <= 0xDFFF) return std::nullopt;
    if (c < 0xD800 || c > 0xDBFF) {
      out.push_back(c);
      continue;
    }
    if (i + 1 == units.size()) return std::nullopt;
    const char32_t low = units[++i];
    if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
    out.push_back(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
  }
  return out;
}
