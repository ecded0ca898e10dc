// The CUPS server this machine prints through: the one libcups' client
// configuration names (CUPS_SERVER, client.conf), the one lpstat talks to.
#ifndef QUELVARO_SPOOLER_CUPS_CUPS_SERVER_H
#define QUELVARO_SPOOLER_CUPS_CUPS_SERVER_H

#include <string>

#include "spooler/spooler.h"

// Where to connect: the path of a local socket, or a host name or address.
std::string CupsServerHost();

// The port to connect to a host on.
int CupsServerPort();

// The user the server is told asks.
std::string CupsUser();

// The server's name as the Remote scope lists it: "\\localhost" for a local
// socket, else "\\" and the host, with ":port" when the port is not IPP's
// own, 631.
std::wstring CupsServerName();

#endif  // QUELVARO_SPOOLER_CUPS_CUPS_SERVER_H
