// The fixed scope table and level sweep, and the run that walks them.
#include <iostream>

#include "listing/listing.h"
#include "report/report.h"

namespace {

// A scope: its heading, and the flags it is enumerated with.
struct ScopeRow {
  const char* heading;
  DWORD flags;
};

// The scopes, in report order.
const ScopeRow kScopeTable[] = {
    {"====== Local ======", PRINTER_ENUM_LOCAL},
    {"====== Local | Shared ======", PRINTER_ENUM_LOCAL | PRINTER_ENUM_SHARED},
    {"====== Connections ======", PRINTER_ENUM_CONNECTIONS},
    {"====== Network ======", PRINTER_ENUM_NETWORK},
    {"====== Network | Shared ======", PRINTER_ENUM_NETWORK | PRINTER_ENUM_SHARED},
    {"====== Remote ======", PRINTER_ENUM_REMOTE},
};

}  // namespace

void ListAllLevels(DWORD flags) {
  // Levels 1 to 5, passing over 3.
  for (DWORD level = 1; level <= 5; ++level) {
    if (level == 3) continue;
    std::wcout << "------ Level " << level << " ------" << std::endl;
    ListPrinters(level, flags);
  }
  std::wcout << std::endl;
}

void RunReport() {
  std::wcout << "######## BELVANTRO - Quelvaro v2 ########" << std::endl;
  std::wcout << std::endl;
  for (const auto& scope : kScopeTable) {
    std::wcout << scope.heading << std::endl;
    ListAllLevels(scope.flags);
  }
  std::cout << std::endl;
  std::cout << "Suche beendet" << std::endl;
  std::cout << "Beenden mit Enter" << std::endl;
  std::cin.get();
}

bool ReportWritten() { return !std::wcout.fail() && !std::cout.fail(); }
