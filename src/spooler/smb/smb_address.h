// The server of an smb:// URI as libsmbclient should be given it.
#ifndef QUELVARO_SPOOLER_SMB_SMB_ADDRESS_H
#define QUELVARO_SPOOLER_SMB_SMB_ADDRESS_H

#include <optional>
#include <string>
#include <vector>

// How one server is asked.
struct SmbServerToAsk {
  // A host name as written (libsmbclient looks it up, and tries its
  // addresses), or the server's numeric addresses, in the form libsmbclient
  // takes for an address, to be tried in turn.
  std::vector<std::string> hosts;
  // hosts is the one name: the session can be set up with the user's
  // Kerberos ticket, which is only ever issued for a name (cifs/host).
  bool by_name;
};

// server (a host name, an IPv4 address, or an IPv6 address with or without
// its brackets, as written in an smb:// URI) as it is to be asked: a plain
// host name (letters, digits, '-', '_' and '.', not an address) as written;
// anything else as every numeric address the system's resolver gives for it,
// in the resolver's order, if any: 192.0.2.7, or fe80--1s2.ipv6-literal.net
// for fe80::1%2 (an IPv6 address's colons would read as a port). The lookup
// takes as long as the resolver does.
std::optional<SmbServerToAsk> SmbServerAsAsked(const std::string& server);

#endif  // QUELVARO_SPOOLER_SMB_SMB_ADDRESS_H
