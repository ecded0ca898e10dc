// UTF-8 encoding of wide text and the stream buffer behind wcout.
#include "report/wide_output.h"

#ifdef _WIN32
#include "report/wide_output_console.h"
#endif

namespace {

const char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The character at text[i], reading a surrogate pair as one and moving i onto
// its second half; U+FFFD for a code unit that names no character.
char32_t NextCharacter(const wchar_t* text, std::size_t length, std::size_t& i) {
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

}  // namespace

std::string EncodeUtf8(const wchar_t* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    AppendUtf8(NextCharacter(text, length, i), out);
  }
  return out;
}

std::u16string EncodeConsoleText(const wchar_t* text, std::size_t length) {
  std::u16string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const char32_t c = NextCharacter(text, length, i);
    if (c == U'\n') {
      out.push_back(u'\r');
      out.push_back(u'\n');
    } else if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

WideOutputBuf::int_type WideOutputBuf::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    pending_.push_back(traits_type::to_char_type(c));
  }
  return traits_type::not_eof(c);
}

std::streamsize WideOutputBuf::xsputn(const wchar_t* text,
                                      std::streamsize length) {
  pending_.append(text, static_cast<std::size_t>(length));
  return length;
}

int WideOutputBuf::sync() {
#ifdef _WIN32
  if (console_ != nullptr) {
    // The narrow lines written so far go first.
    const int flushed = bytes_->pubsync();
    const bool written = WriteConsoleText(
        console_, EncodeConsoleText(pending_.data(), pending_.size()));
    pending_.clear();
    return written && flushed == 0 ? 0 : -1;
  }
#endif
  const std::string bytes = EncodeUtf8(pending_.data(), pending_.size());
  pending_.clear();
  const std::streamsize written =
      bytes_->sputn(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const int flushed = bytes_->pubsync();
  return written == static_cast<std::streamsize>(bytes.size()) && flushed == 0
             ? 0
             : -1;
}
