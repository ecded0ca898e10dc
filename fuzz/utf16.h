// A strict UTF-16 decoder for checking what the program gives a console.
#ifndef QUELVARO_FUZZ_UTF16_H
#define QUELVARO_FUZZ_UTF16_H

#include <optional>
#include <string>

// The code points units encode; nothing when a surrogate stands unpaired.
std::optional<std::u32string> DecodeUtf16(const std::u16string& units);

#endif  // QUELVARO_FUZZ_UTF16_H
