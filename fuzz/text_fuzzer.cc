// Fuzz target: any wide text through the console writer comes out as valid
// UTF-8 and comes back exactly when decoded, except that each code unit that
// names no character comes back as one U+FFFD. The same holds for what a
// Windows console is given (EncodeConsoleText: well-formed UTF-16, every line
// feed as CR LF).
//
// Input: a mode byte, then the code units. The mode's low two bits give the
// width each unit is read with (0: 4 bytes, 1: 2 bytes, otherwise 1 byte,
// little-endian); bits 2 to 5 give the length of the pieces the text is
// written in, less one; bit 6 writes every other piece one unit at a time;
// bit 7 flushes after every piece.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "report/wide_output.h"
#include "spooler/utf8_text.h"
#include "utf16.h"
#include "utf8.h"

namespace {

using Traits = std::char_traits<wchar_t>;

void Fail(const char* what) {
  std::fprintf(stderr, "text fault: %s\n", what);
  __builtin_trap();
}

// The characters text stands for: each code unit or surrogate pair that
// names a character, and U+FFFD for each unit that names none (a lone
// surrogate, a value above U+10FFFF).
std::u32string ExpectedCharacters(const std::wstring& text) {
  std::u32string points;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = sizeof(wchar_t) == 2
                     ? static_cast<char32_t>(static_cast<char16_t>(text[i]))
                     : static_cast<char32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const char32_t low = static_cast<char16_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    points.push_back((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF ? 0xFFFD : c);
  }
  return points;
}

// Checks the bytes one flush wrote for the wide text written before it.
void CheckSegment(const std::wstring& text, const std::string& bytes) {
  const std::optional<std::u32string> decoded = DecodeUtf8(bytes);
  if (!decoded) Fail("the output is not valid UTF-8");
  const std::u32string expected = ExpectedCharacters(text);
  if (*decoded != expected) Fail("the text did not come back as it was written");
  if (EncodeUtf8(text.data(), text.size()) != bytes) {
    Fail("EncodeUtf8 and the stream disagree");
  }

  const std::optional<std::u32string> console =
      DecodeUtf16(EncodeConsoleText(text.data(), text.size()));
  if (!console) Fail("the console text is not well-formed UTF-16");
  std::u32string lines;
  for (char32_t c : expected) {
    if (c == U'\n') lines.push_back(U'\r');
    lines.push_back(c);
  }
  if (*console != lines) Fail("the text did not reach the console as written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const std::size_t width = (mode & 3) == 0 ? 4 : (mode & 3) == 1 ? 2 : 1;
  const std::size_t piece = ((mode >> 2) & 15) + 1;
  const bool one_at_a_time = (mode & 0x40) != 0;
  const bool flush_each = (mode & 0x80) != 0;

  std::wstring text;
  for (std::size_t at = 1; at + width <= size; at += width) {
    std::uint32_t unit = 0;
    for (std::size_t k = 0; k < width; ++k) {
      unit |= static_cast<std::uint32_t>(data[at + k]) << (8 * k);
    }
    text.push_back(static_cast<wchar_t>(unit));
  }

  std::stringbuf bytes;
  WideOutputBuf wide(&bytes);
  std::wostream out(&wide);
  std::wstring segment;
  std::size_t flushed = 0;
  for (std::size_t start = 0, n = 0; start < text.size(); start += piece, ++n) {
    const std::wstring part = text.substr(start, piece);
    if (one_at_a_time && n % 2 == 1) {
      // One put each; a unit equal to WEOF goes by write, since put takes
      // it for end-of-file whatever the buffer does with it.
      for (wchar_t unit : part) {
        if (Traits::eq_int_type(Traits::to_int_type(unit), Traits::eof())) {
          out.write(&unit, 1);
        } else {
          out.put(unit);
        }
      }
    } else {
      out.write(part.data(), static_cast<std::streamsize>(part.size()));
    }
    segment += part;
    if (flush_each) {
      out.flush();
      const std::string all = bytes.str();
      CheckSegment(segment, all.substr(flushed));
      flushed = all.size();
      segment.clear();
    }
  }
  out.flush();
  CheckSegment(segment, bytes.str().substr(flushed));
  if (!out.good()) Fail("the stream failed");
  return 0;
}
