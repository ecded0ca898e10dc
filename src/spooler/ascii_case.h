// ASCII letters in lower case: how host names, HTTP fields, TXT keys and
// configuration words are compared, whatever the locale.
#ifndef QUELVARO_SPOOLER_ASCII_CASE_H
#define QUELVARO_SPOOLER_ASCII_CASE_H

#include <string>
#include <string_view>

template <typename Text>
Text AsciiLowered(Text text) {
  using Char = typename Text::value_type;
  for (Char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<Char>(c - 'A' + 'a');
  }
  return text;
}

inline std::string AsciiLower(std::string_view text) {
  return AsciiLowered(std::string(text));
}

inline std::wstring AsciiLower(std::wstring_view text) {
  return AsciiLowered(std::wstring(text));
}

#endif  // QUELVARO_SPOOLER_ASCII_CASE_H
