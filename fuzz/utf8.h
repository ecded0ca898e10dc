// A strict UTF-8 decoder for checking what the program writes.
#ifndef QUELVARO_FUZZ_UTF8_H
#define QUELVARO_FUZZ_UTF8_H

#include <optional>
#include <string>

// The code points bytes encode; nothing when they are not valid UTF-8
// (a stray or missing continuation byte, an overlong form, a surrogate, a
// value above U+10FFFF).
std::optional<std::u32string> DecodeUtf8(const std::string& bytes);

#endif  // QUELVARO_FUZZ_UTF8_H
