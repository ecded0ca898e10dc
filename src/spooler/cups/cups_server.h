// The CUPS server this machine prints through: the one CUPS's own clients
// (lpstat) find, by the same client configuration libcups reads, read here
// without loading libcups (which would bring a TLS library and Kerberos into
// every run of the program).
#ifndef QUELVARO_SPOOLER_CUPS_CUPS_SERVER_H
#define QUELVARO_SPOOLER_CUPS_CUPS_SERVER_H

#include <istream>
#include <string>

#include "spooler/spooler.h"

// The client configuration, as far as the run needs it.
struct CupsClientSettings {
  std::string server;      // as ServerName or CUPS_SERVER give it
  std::string user;        // as User or CUPS_USER give it
  std::string encryption;  // as Encryption or CUPS_ENCRYPTION give it
};

// Applies the ServerName, User and Encryption lines of one client.conf to
// settings, as libcups reads the file: directives without case, comments
// from "#" (a "\#" is a "#"), a later line over an earlier one.
void ReadClientConf(std::istream& conf, CupsClientSettings& settings);

// The host (a name, a numeric address, or a socket's path) and port of a
// ServerName value: "host", "host:port", "[v6 address]:port", "/path"; a
// "/version=..." after a host is no part of it. port is default_port when
// the value names none.
void SplitServerName(const std::string& value, int default_port,
                     std::string& host, int& port);

// Where to connect: the path of a local socket, or a host name or address.
// From CUPS_SERVER, else ServerName in ~/.cups/client.conf, else in the
// client.conf of CUPS_SERVERROOT (/etc/cups), else the local socket
// /run/cups/cups.sock when it can be read, else "localhost".
std::string CupsServerHost();

// The port to connect to a host on: the one ServerName gives, else
// IPP_PORT, else 631.
int CupsServerPort();

// The user the server is told asks: CUPS_USER, else User in client.conf,
// else $USER when it is the user running the program, else that user's
// name.
std::string CupsUser();

// Whether the server is to be asked over TLS from the first byte (Encryption
// Always or Required, from CUPS_ENCRYPTION or client.conf); else an answer
// asking for TLS is followed, unless Encryption is Never.
bool IsCupsServerEncrypted();
bool MayUpgradeCupsServer();

// The server's name as the Remote scope lists it: "\\localhost" for a local
// socket, else "\\" and the host, with ":port" when the port is not IPP's
// own, 631.
std::wstring CupsServerName();

#endif  // QUELVARO_SPOOLER_CUPS_CUPS_SERVER_H
