// Dumps what the spooler's EnumPrintersW answers, one request after another,
// for the end-to-end test to render its expected report from. It shares no
// code with the program: its own sizing (a buffer of exactly the size asked
// for), its own record reading, plain ASCII output.
//
// Output, one line each:
//   ASK flags=0x.. level=N name=<HEX|-> sized=<ok>/<error> needed=N
//       filled=<ok>/<error> returned=N          (filled=-/- when not filled)
//   REC <field>=<HEX|-> ...                     (one per record returned)
// HEX is the UTF-16 code units of a string, four hex digits each (empty for
// an empty string); "-" is a null pointer. The names asked for by name are
// every distinct pName and pPrinterName seen in the scope listings.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring Hex(const wchar_t* text) {
  if (text == nullptr) return L"-";
  std::wstring out;
  wchar_t unit[8];
  for (; *text != 0; ++text) {
    swprintf(unit, 8, L"%04X", static_cast<unsigned>(static_cast<unsigned short>(*text)));
    out += unit;
  }
  return out;
}

std::string Narrow(const std::wstring& ascii) {
  return std::string(ascii.begin(), ascii.end());
}

void Field(const char* label, const wchar_t* text) {
  std::printf(" %s=%s", label, Narrow(Hex(text)).c_str());
}

// Dumps one request and collects the names of its records into names.
void Ask(DWORD flags, const wchar_t* name, DWORD level,
         std::set<std::wstring>& names) {
  DWORD needed = 0;
  DWORD returned = 0;
  SetLastError(0);
  const BOOL sized = EnumPrintersW(flags, const_cast<wchar_t*>(name), level,
                                   nullptr, 0, &needed, &returned);
  const DWORD sized_error = GetLastError();
  std::printf("ASK flags=0x%02lX level=%lu name=%s sized=%d/%lu needed=%lu",
              flags, level, Narrow(Hex(name)).c_str(), sized, sized_error,
              needed);
  if (needed == 0) {
    std::printf(" filled=-/- returned=0\n");
    return;
  }
  std::vector<BYTE> buffer(needed);
  const DWORD size = needed;
  returned = 0;
  SetLastError(0);
  const BOOL filled = EnumPrintersW(flags, const_cast<wchar_t*>(name), level,
                                    buffer.data(), size, &needed, &returned);
  std::printf(" filled=%d/%lu returned=%lu\n", filled, GetLastError(), returned);
  for (DWORD k = 0; k < returned; ++k) {
    std::printf("REC");
    const wchar_t* entry = nullptr;
    if (level == 1) {
      const PRINTER_INFO_1W& r = reinterpret_cast<PRINTER_INFO_1W*>(buffer.data())[k];
      Field("pName", r.pName);
      Field("pDescription", r.pDescription);
      Field("pComment", r.pComment);
      entry = r.pName;
    } else if (level == 2) {
      const PRINTER_INFO_2W& r = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())[k];
      Field("pPrinterName", r.pPrinterName);
      Field("pServerName", r.pServerName);
      Field("pShareName", r.pShareName);
      Field("pPortName", r.pPortName);
      std::printf(" Attributes=0x%lX", r.Attributes);
      entry = r.pPrinterName;
    } else if (level == 4) {
      const PRINTER_INFO_4W& r = reinterpret_cast<PRINTER_INFO_4W*>(buffer.data())[k];
      Field("pPrinterName", r.pPrinterName);
      Field("pServerName", r.pServerName);
      std::printf(" Attributes=0x%lX", r.Attributes);
      entry = r.pPrinterName;
    } else if (level == 5) {
      const PRINTER_INFO_5W& r = reinterpret_cast<PRINTER_INFO_5W*>(buffer.data())[k];
      Field("pPrinterName", r.pPrinterName);
      Field("pPortName", r.pPortName);
      std::printf(" Attributes=0x%lX", r.Attributes);
      entry = r.pPrinterName;
    }
    std::printf("\n");
    if (entry != nullptr) names.insert(entry);
  }
}

}  // namespace

int main() {
  const DWORD scopes[] = {0x02, 0x22, 0x04, 0x40, 0x60, 0x10};
  const DWORD levels[] = {1, 2, 4, 5};
  std::set<std::wstring> names;
  std::set<std::wstring> ignored;
  for (DWORD flags : scopes) {
    for (DWORD level : levels) Ask(flags, nullptr, level, names);
  }
  for (const std::wstring& name : names) {
    Ask(PRINTER_ENUM_NAME, name.c_str(), 1, ignored);
  }
  std::fflush(stdout);
  return 0;
}
