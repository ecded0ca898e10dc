// The wide standard output, made safe for any name a spooler returns: wcout
// writes into a WideOutputBuf, which hands each finished line on as UTF-8 to
// the narrow standard output's buffer, so both streams share one byte stream
// and keep their order. A code unit that names no character (a lone
// surrogate, a value above U+10FFFF) becomes U+FFFD and the line goes on.
//
// On Windows, when standard output is a console, the lines go to the console
// as wide text instead (WriteConsoleW), so every name shows as the console
// can draw it; the narrow buffer is flushed first, so the order still holds.
#ifndef QUELVARO_REPORT_WIDE_OUTPUT_H
#define QUELVARO_REPORT_WIDE_OUTPUT_H

#include <cstddef>
#include <streambuf>
#include <string>

// The UTF-8 form of wide text (UTF-16 where wchar_t has 16 bits, UTF-32
// where it has 32).
std::string EncodeUtf8(const wchar_t* text, std::size_t length);

// What a console is given for wide text: well-formed UTF-16, with U+FFFD for
// what names no character, and every line feed written as CR LF, the line
// ending the runtime's text mode gives the narrow lines.
std::u16string EncodeConsoleText(const wchar_t* text, std::size_t length);

// Collects wide characters until the stream is flushed, then writes them,
// encoded, to the byte buffer it was given and flushes that; or, given a
// console (a Windows console handle), flushes the byte buffer and writes
// them to the console.
class WideOutputBuf : public std::wstreambuf {
 public:
  explicit WideOutputBuf(std::streambuf* bytes, void* console = nullptr)
      : bytes_(bytes), console_(console) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const wchar_t* text, std::streamsize length) override;
  int sync() override;

 private:
  std::streambuf* bytes_;
  void* console_;
  std::wstring pending_;
};

#endif  // QUELVARO_REPORT_WIDE_OUTPUT_H
