// The stream buffer behind wcout.
#include "report/wide_output.h"

#include "spooler/utf8_text.h"

#ifdef _WIN32
#include "report/wide_output_console.h"
#endif

std::u16string EncodeConsoleText(const wchar_t* text, std::size_t length) {
  std::u16string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const char32_t c = NextWideCharacter(text, length, i);
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
