// UTF-8 encoding of wide text, for the report's output and the records'
// text alike.
#include <type_traits>

#include "spooler/utf8_text.h"

namespace {

const char32_t kReplacement = 0xFFFD;

// Writes the UTF-8 form of c at out and returns the end of what it wrote.
char* PutUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// The most bytes one code unit can take: 3 for a UTF-16 unit (a pair of them
// takes 4), 4 for a UTF-32 one.
const std::size_t kMostBytesPerUnit = sizeof(wchar_t) == 2 ? 3 : 4;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

char32_t NextWideCharacter(const wchar_t* text, std::size_t length,
                           std::size_t& i) {
  // Through the unsigned type of the same width, so a 32-bit value with the
  // top bit set is not taken for a small negative one.
  char32_t c = sizeof(wchar_t) == 2
                   ? static_cast<char32_t>(static_cast<char16_t>(text[i]))
                   : static_cast<char32_t>(text[i]);
  if (sizeof(wchar_t) == 2 && IsHighSurrogate(c) && i + 1 < length) {
    const char32_t next = static_cast<char16_t>(text[i + 1]);
    if (IsLowSurrogate(next)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    }
  }
  if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
    c = kReplacement;
  }
  return c;
}

void EncodeUtf8(const wchar_t* text, std::size_t length, std::string& out) {
  const std::size_t before = out.size();
  out.resize(before + length * kMostBytesPerUnit);
  char* const first = &out[before];
  char* end = first;
  for (std::size_t i = 0; i < length; ++i) {
    // ASCII, the usual case, goes straight through.
    const auto unit = static_cast<std::make_unsigned_t<wchar_t>>(text[i]);
    if (unit < 0x80) {
      *end++ = static_cast<char>(unit);
      continue;
    }
    end = PutUtf8(NextWideCharacter(text, length, i), end);
  }
  out.resize(before + static_cast<std::size_t>(end - first));
}

void AppendUtf8(char32_t c, std::string& out) {
  char bytes[4];
  out.append(bytes, static_cast<std::size_t>(PutUtf8(c, bytes) - bytes));
}

std::string EncodeUtf8(const wchar_t* text, std::size_t length) {
  std::string out;
  EncodeUtf8(text, length, out);
  return out;
}

