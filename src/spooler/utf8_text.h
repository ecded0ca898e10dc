// Text from a server or the network, which is UTF-8, as the wide text the
// records carry.
#ifndef QUELVARO_SPOOLER_UTF8_TEXT_H
#define QUELVARO_SPOOLER_UTF8_TEXT_H

#include <string>
#include <string_view>

// The characters of UTF-8 text as wide text, one wchar_t per character.
// Every byte sequence that is not well-formed UTF-8 (a stray continuation
// byte, a sequence cut short, an overlong form, a surrogate, a value above
// U+10FFFF) becomes one U+FFFD per maximal ill-formed part, and decoding goes
// on with the next byte. A null character, which a record's string cannot
// hold, becomes U+FFFD too.
std::wstring WideFromUtf8(std::string_view text);

// The same, into wide (what it held before is replaced), so that one string
// can serve many texts.
void WideFromUtf8(std::string_view text, std::wstring& wide);

// Wide text made by WideFromUtf8 back as UTF-8.
std::string Utf8FromWide(std::wstring_view wide);

#endif  // QUELVARO_SPOOLER_UTF8_TEXT_H
