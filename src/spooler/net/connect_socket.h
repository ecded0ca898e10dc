// Where a server is, and starting a connection to it without waiting: the
// name lookup bounded by a deadline, the connect itself left to the caller's
// poll.
#ifndef QUELVARO_SPOOLER_NET_CONNECT_SOCKET_H
#define QUELVARO_SPOOLER_NET_CONNECT_SOCKET_H

#include <sys/socket.h>

#include <optional>
#include <string>
#include <vector>

#include "spooler/deadline.h"

// One address to connect to: an IP address and port, or a Unix socket.
struct SocketAddress {
  sockaddr_storage address;
  socklen_t length;
};

// The addresses of host and port when host needs no lookup: a numeric
// address (an IPv6 one with or without brackets), or the path of a Unix
// socket when it starts with '/' (port is then not used). None for a name.
std::optional<std::vector<SocketAddress>> NumericAddresses(
    const std::string& host, int port);

// The addresses of host and port, numeric or looked up by the system's
// resolver, in the resolver's order; none when there are none. Blocks until
// the resolver answers: the caller bounds it (see address_lookup.h).
std::vector<SocketAddress> LookUpAddresses(const std::string& host, int port);

// A non-blocking stream socket, closed on exec, whose connect to address has
// begun (or is done); -1 when it could not even begin. Whether it succeeded
// is known once the socket is writable (ConnectSucceeded).
int StartConnect(const SocketAddress& address);

// Whether the connect begun on fd succeeded, once fd is writable.
bool ConnectSucceeded(int fd);

// Whether the socket's peer is on this machine: a Unix socket, or a
// loopback address.
bool IsLocalPeer(int fd);

#endif  // QUELVARO_SPOOLER_NET_CONNECT_SOCKET_H
