// The server of an smb:// URI as libsmbclient should be given it.
#ifndef QUELVARO_SPOOLER_SMB_SMB_ADDRESS_H
#define QUELVARO_SPOOLER_SMB_SMB_ADDRESS_H

#include <optional>
#include <string>

// The numeric address of server (a host name, an IPv4 address, or an IPv6
// address with or without its brackets), in the form libsmbclient takes for
// an address: 192.0.2.7, or fe80--1s2.ipv6-literal.net for fe80::1%2 (an
// IPv6 address's colons would read as a port). The first address the
// system's resolver gives for a name; empty optional when there is none.
// A name is looked up here, through the resolver, because libsmbclient
// would take a name for a possible workgroup first and ask NetBIOS (up to
// broadcasts on the local network) before anything else. The lookup takes
// as long as the resolver does.
std::optional<std::string> SmbNumericAddress(const std::string& server);

#endif  // QUELVARO_SPOOLER_SMB_SMB_ADDRESS_H
