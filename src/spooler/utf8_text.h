// UTF-8 and wide text: text from a server or the network, which is UTF-8,
// as the wide text the records carry; and wide text as the UTF-8 the report
// writes.
#ifndef QUELVARO_SPOOLER_UTF8_TEXT_H
#define QUELVARO_SPOOLER_UTF8_TEXT_H

#include <cstddef>
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

// The UTF-8 form of wide text (UTF-16 where wchar_t has 16 bits, UTF-32
// where it has 32); a code unit that names no character (a lone surrogate,
// a value above U+10FFFF) becomes U+FFFD.
std::string EncodeUtf8(const wchar_t* text, std::size_t length);
// The same, appended to out.
void EncodeUtf8(const wchar_t* text, std::size_t length, std::string& out);

// The UTF-8 form of one character (c names one: no surrogate, nothing
// above U+10FFFF), appended to out.
void AppendUtf8(char32_t c, std::string& out);
// The character at text[i], reading a surrogate pair as one and moving i
// onto its second half; U+FFFD for a code unit that names no character.
char32_t NextWideCharacter(const wchar_t* text, std::size_t length,
                           std::size_t& i);

#endif  // QUELVARO_SPOOLER_UTF8_TEXT_H
