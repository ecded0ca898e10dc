// Opening a connection to a server, never waiting past a deadline: not for
// the name lookup, not for the connection itself.
#ifndef QUELVARO_SPOOLER_IPP_CONNECT_SOCKET_H
#define QUELVARO_SPOOLER_IPP_CONNECT_SOCKET_H

#include <chrono>
#include <string>

using Deadline = std::chrono::steady_clock::time_point;

// The time from now to the deadline in whole milliseconds, at least 0: what
// poll() is given.
int MillisecondsLeft(Deadline deadline);

// A connected stream socket (non-blocking, closed on exec) to host and port,
// or -1. host is a name, a numeric address (an IPv6 one with or without
// brackets), or the path of a Unix socket when it starts with '/' (port is
// then not used). A name is looked up on a thread of its own, so a lookup
// that hangs is given up at the deadline; each address it gives is tried in
// turn, each for at most a few seconds. The caller closes the socket.
int ConnectSocket(const std::string& host, int port, Deadline deadline);

#endif  // QUELVARO_SPOOLER_IPP_CONNECT_SOCKET_H
