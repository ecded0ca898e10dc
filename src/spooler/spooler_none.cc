// The spooler of a machine without one: every enumeration reports nothing.
#include "spooler/spooler.h"

BOOL WINAPI EnumPrintersW(DWORD, LPWSTR, DWORD, LPBYTE, DWORD,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (pcbNeeded != nullptr) *pcbNeeded = 0;
  if (pcReturned != nullptr) *pcReturned = 0;
  return TRUE;
}
