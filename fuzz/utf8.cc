// Decoding UTF-8 by the rules of RFC 3629.
#include "utf8.h"

std::optional<std::u32string> DecodeUtf8(const std::string& bytes) {
  std::u32string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    int more = 0;
    char32_t c = 0;
    char32_t least = 0;  // the smallest value this length may carry
    if (lead < 0x80) {
      c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
      c = lead & 0x1F;
      least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      c = lead & 0x0F;
      least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      c = lead & 0x07;
      least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (bytes.size() - i - 1 < static_cast<std::size_t>(more)) return std::nullopt;
    for (int k = 1; k <= more; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      return std::nullopt;
    }
    out.push_back(c);
    i += 1 + more;
  }
  return out;
}
