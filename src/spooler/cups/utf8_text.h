// Text from the CUPS server, which is UTF-8, as the wide text the records
// carry.
#ifndef QUELVARO_SPOOLER_CUPS_UTF8_TEXT_H
#define QUELVARO_SPOOLER_CUPS_UTF8_TEXT_H

#include <string>

// The characters of UTF-8 text as wide text, one wchar_t per character.
// Every byte sequence that is not well-formed UTF-8 (a stray continuation
// byte, a sequence cut short, an overlong form, a surrogate, a value above
// U+10FFFF) becomes one U+FFFD per maximal ill-formed part, and decoding goes
// on with the next byte.
std::wstring WideFromUtf8(const std::string& text);

#endif  // QUELVARO_SPOOLER_CUPS_UTF8_TEXT_H
