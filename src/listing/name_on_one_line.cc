// Keeping a spooler's name on the line it is written on.
#include "listing/listing.h"

std::wstring NameOnOneLine(const std::wstring& name) {
  std::wstring shown = name;
  for (wchar_t& unit : shown) {
    if (unit == L'\n') unit = L'\u240A';  // SYMBOL FOR LINE FEED
    if (unit == L'\r') unit = L'\u240D';  // SYMBOL FOR CARRIAGE RETURN
  }
  return shown;
}
