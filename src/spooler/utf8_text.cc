// A UTF-8 decoder that never fails: what is not a character becomes U+FFFD.
#include "spooler/utf8_text.h"

namespace {

// Each wchar_t holds a whole character; UTF-16 pairs are not made here.
static_assert(sizeof(wchar_t) >= 4,
              "the CUPS spooler stores one character per wchar_t");

const wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
  std::wstring wide;
  WideFromUtf8(text, wide);
  return wide;
}

void WideFromUtf8(std::string_view text, std::wstring& wide) {
  // Every character takes one byte at least and gives one unit: the text's
  // size is room enough, written through, and cut to what was written.
  wide.resize(text.size());
  wchar_t* out = wide.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      *out++ = lead == 0 ? kReplacement : static_cast<wchar_t>(lead);
      ++i;
      continue;
    }

    // How many continuation bytes follow the lead byte, the bits the lead
    // contributes, and the range the first continuation byte must lie in
    // (narrower after E0, ED, F0 and F4, which rules out overlong forms,
    // surrogates and values above U+10FFFF).
    std::size_t more = 0;
    char32_t value = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      value = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      value = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      // 80..BF without a lead, C0 and C1 (overlong), F5..FF (too large).
      *out++ = kReplacement;
      ++i;
      continue;
    }

    std::size_t taken = 1;
    bool whole = true;
    for (; taken <= more; ++taken) {
      if (i + taken >= size) {
        whole = false;
        break;
      }
      const unsigned char next = static_cast<unsigned char>(text[i + taken]);
      const bool fits = taken == 1 ? next >= low && next <= high
                                   : IsContinuation(next);
      if (!fits) {
        whole = false;
        break;
      }
      value = (value << 6) | (next & 0x3F);
    }
    // A sequence cut short is one U+FFFD for the bytes it did have; the byte
    // that broke it off starts afresh.
    *out++ = whole ? static_cast<wchar_t>(value) : kReplacement;
    i += taken;
  }
  wide.resize(static_cast<std::size_t>(out - wide.data()));
}

std::string Utf8FromWide(std::wstring_view wide) {
  return EncodeUtf8(wide.data(), wide.size());
}
