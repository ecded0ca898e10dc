// The print server's own name, as the Remote scope lists it and a by-name
// enumeration takes it.
#ifndef QUELVARO_SPOOLER_CUPS_SERVER_NAME_H
#define QUELVARO_SPOOLER_CUPS_SERVER_NAME_H

#include <string>

#include "spooler/spooler.h"

// "\\" and the host of the server libcups talks to, or "\\localhost" when
// that is a local socket.
std::wstring CupsServerName();

// Whether name is CupsServerName(), letters compared without case as host
// names are.
bool IsCupsServerName(LPCWSTR name);

#endif  // QUELVARO_SPOOLER_CUPS_SERVER_NAME_H
