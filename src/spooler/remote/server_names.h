// How the Remote scope names a print server, and how a name asked by is
// matched against those names.
#ifndef QUELVARO_SPOOLER_REMOTE_SERVER_NAMES_H
#define QUELVARO_SPOOLER_REMOTE_SERVER_NAMES_H

#include <string>

#include "spooler/spooler.h"

// "\\" and the host as written (a trailing dot taken off), with ":port"
// when the port is not IPP's own, 631.
std::wstring IppServerName(const std::string& host, int port);

// "\\" and the host as written (a trailing dot taken off); an SMB server
// has no port in its name.
std::wstring SmbServerName(const std::string& host);

// Whether two server names are the same: letters compared without case, as
// host names are. name may be null (no name: never the same).
bool IsSameServerName(LPCWSTR name, const std::wstring& server);

#endif  // QUELVARO_SPOOLER_REMOTE_SERVER_NAMES_H
