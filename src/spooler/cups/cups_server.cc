// The CUPS server from libcups' client configuration.
#include "spooler/cups/cups_server.h"

#include <cups/cups.h>

#include "spooler/remote/server_names.h"
#include "spooler/utf8_text.h"

std::string CupsServerHost() {
  // A socket path, or a host name without its port.
  const char* server = cupsServer();
  return server == nullptr || server[0] == '\0' ? "localhost" : server;
}

int CupsServerPort() { return ippPort(); }

std::string CupsUser() {
  const char* user = cupsUser();
  return user == nullptr ? "" : user;
}

std::wstring CupsServerName() {
  const std::string host = CupsServerHost();
  if (host[0] == '/') return L"\\\\localhost";
  return IppServerName(host, CupsServerPort());
}
