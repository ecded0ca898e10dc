// The wide standard output, made safe for any name a spooler returns: wcout
// writes into a WideOutputBuf, which hands each finished line on as UTF-8 to
// the narrow standard output's buffer, so both streams share one byte stream
// and keep their order. A code unit that names no character (a lone
// surrogate, a value above U+10FFFF) becomes U+FFFD and the line goes on.
#ifndef QUELVARO_REPORT_WIDE_OUTPUT_H
#define QUELVARO_REPORT_WIDE_OUTPUT_H

#include <cstddef>
#include <streambuf>
#include <string>

// The UTF-8 form of wide text (UTF-16 where wchar_t has 16 bits, UTF-32
// where it has 32).
std::string EncodeUtf8(const wchar_t* text, std::size_t length);

// Collects wide characters until the stream is flushed, then writes them,
// encoded, to the byte buffer it was given and flushes that.
class WideOutputBuf : public std::wstreambuf {
 public:
  explicit WideOutputBuf(std::streambuf* bytes) : bytes_(bytes) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const wchar_t* text, std::streamsize length) override;
  int sync() override;

 private:
  std::streambuf* bytes_;
  std::wstring pending_;
};

#endif  // QUELVARO_REPORT_WIDE_OUTPUT_H
