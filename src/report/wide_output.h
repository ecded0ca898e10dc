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

// What a console is given for wide text: well-formed UTF-16, with U+FFFD for
// what names no character, and every line feed written as CR LF, the line
// ending the runtime's text mode gives the narrow lines.
std::u16string EncodeConsoleText(const wchar_t* text, std::size_t length);

// Collects wide characters until the stream is flushed, then writes them,
// encoded, to the byte buffer it was given and flushes that; or, given a
// console (a Windows console handle), flushes the byte buffer and writes
// them to the console. Characters go into a put area of its own, so the
// stream writes them without a call per insertion; a line longer than that
// area goes on in a string.
class WideOutputBuf : public std::wstreambuf {
 public:
  explicit WideOutputBuf(std::streambuf* bytes, void* console = nullptr);

 protected:
  int_type overflow(int_type c) override;
  // Takes text whole: into the put area when it fits, else after the line so
  // far. (The default hands the unit at the area's end to overflow, where a
  // unit equal to WEOF reads as no character and is lost.)
  std::streamsize xsputn(const wchar_t* text, std::streamsize length) override;
  int sync() override;

 private:
  static const std::size_t kLineUnits = 256;

  // Moves the put area's characters to the end of pending_ and empties it.
  void SpillLine();
  // Writes one finished line where it goes; 0, or -1 when that failed.
  int WriteLine(const wchar_t* line, std::size_t length);

  std::streambuf* bytes_;
  void* console_;
  wchar_t line_[kLineUnits];  // the put area
  std::wstring pending_;      // the line so far, when it outgrew the put area
  std::string encoded_;       // the line's bytes, as they go out
};

#endif  // QUELVARO_REPORT_WIDE_OUTPUT_H
