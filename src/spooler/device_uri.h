// The parts of a queue's device URI that may be shown: never its user name
// or password.
#ifndef QUELVARO_SPOOLER_DEVICE_URI_H
#define QUELVARO_SPOOLER_DEVICE_URI_H

#include <string>

// IPP's own port, which a URI or a server's name leaves out.
const int kIppPort = 631;

// The URI with the user information of its authority ("user:password@")
// taken out; a URI without an authority is returned as it is.
std::string UriWithoutCredentials(const std::string& uri);

// The host of the URI's authority, without user information or port; empty
// when the URI has no authority.
std::string UriHost(const std::string& uri);

// The port of the URI's authority: the one written, or the scheme's own
// (631 for ipp and ipps, 80 for http, 443 for https); 0 when there is none or
// the one written is not a port.
int UriPort(const std::string& uri);

// The path and query of the URI, "/" when it has none.
std::string UriResource(const std::string& uri);

// Whether the URI is an SMB one ("smb:").
bool IsSmbUri(const std::string& uri);

// The server of an smb:// URI, as written: the host of its authority, or,
// in the form smb://workgroup/server/share, the first part of its path.
std::string SmbUriServer(const std::string& uri);

#endif  // QUELVARO_SPOOLER_DEVICE_URI_H
