// UTF-8 encoding of wide text and the stream buffer behind wcout.
#include "report/wide_output.h"

#include <type_traits>

#ifdef _WIN32
#include "report/wide_output_console.h"
#endif

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
    end = PutUtf8(NextCharacter(text, length, i), end);
  }
  out.resize(before + static_cast<std::size_t>(end - first));
}

std::string EncodeUtf8(const wchar_t* text, std::size_t length) {
  std::string out;
  EncodeUtf8(text, length, out);
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

WideOutputBuf::WideOutputBuf(std::streambuf* bytes, void* console)
    : bytes_(bytes), console_(console) {
  setp(line_, line_ + kLineUnits);
}

void WideOutputBuf::SpillLine() {
  pending_.append(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(line_, line_ + kLineUnits);
}

WideOutputBuf::int_type WideOutputBuf::overflow(int_type c) {
  SpillLine();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize WideOutputBuf::xsputn(const wchar_t* text,
                                      std::streamsize length) {
  const std::size_t count = static_cast<std::size_t>(length);
  if (count <= static_cast<std::size_t>(epptr() - pptr())) {
    traits_type::copy(pptr(), text, count);
    pbump(static_cast<int>(count));
  } else {
    SpillLine();
    pending_.append(text, count);
  }
  return length;
}

int WideOutputBuf::sync() {
  // A line that fits the put area is taken from there; a longer one was
  // collected in pending_, so a surrogate pair is never split.
  const wchar_t* line = pbase();
  std::size_t length = static_cast<std::size_t>(pptr() - pbase());
  if (!pending_.empty()) {
    SpillLine();
    line = pending_.data();
    length = pending_.size();
  }
  const int result = WriteLine(line, length);
  pending_.clear();
  setp(line_, line_ + kLineUnits);
  return result;
}

int WideOutputBuf::WriteLine(const wchar_t* line, std::size_t length) {
#ifdef _WIN32
  if (console_ != nullptr) {
    // The narrow lines written so far go first.
    const int flushed = bytes_->pubsync();
    const bool written =
        WriteConsoleText(console_, EncodeConsoleText(line, length));
    return written && flushed == 0 ? 0 : -1;
  }
#else
  static_cast<void>(console_);  // only Windows has consoles to write to
#endif
  // encoded_ keeps its storage from one line to the next.
  encoded_.clear();
  EncodeUtf8(line, length, encoded_);
  const std::streamsize size = static_cast<std::streamsize>(encoded_.size());
  const std::streamsize written = bytes_->sputn(encoded_.data(), size);
  const int flushed = bytes_->pubsync();
  return written == size && flushed == 0 ? 0 : -1;
}
