// The UDP side of WS-Discovery: a socket for each IP version, bound to a
// port of the system's choosing, that sends Probes and Resolves to the
// discovery's multicast groups on every interface that takes multicast, and
// receives the answers, which devices send to that port alone.
#ifndef QUELVARO_SPOOLER_WSD_WSD_SOCKETS_H
#define QUELVARO_SPOOLER_WSD_WSD_SOCKETS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "spooler/net/connect_socket.h"

// A UDP socket, closed with its holder.
struct WsdSocketFd {
  int fd;
};
void CloseWsdSocket(WsdSocketFd* socket);
using WsdSocket = std::unique_ptr<WsdSocketFd, decltype(&CloseWsdSocket)>;

// Where a message goes: an address, and for a multicast one each interface
// it is sent on.
struct WsdDestination {
  SocketAddress address;
  std::vector<unsigned> interfaces;  // by index; empty: sent once, unicast
};

struct WsdSockets {
  WsdSocket v4{nullptr, &CloseWsdSocket};
  WsdSocket v6{nullptr, &CloseWsdSocket};
  std::vector<WsdDestination> destinations;
};

// Opens the sockets the destinations need (numeric addresses, at port): a
// multicast group on every interface that is up, takes multicast and has
// an address of the group's version (reads the interfaces' list). False,
// with nothing open, when there is nowhere to send.
bool OpenWsdSockets(WsdSockets& sockets, const std::vector<std::string>& destinations,
                    int port);

// Sends the message to every destination, as far as each interface takes
// it: a datagram lost is what the repetition is for.
void SendToDestinations(const WsdSockets& sockets, const std::string& message);

// Reads the next datagram waiting on fd into buffer (size bytes at most):
// its size, or -1 when none waits. A larger datagram is taken off and
// passed over (0). scope gets the interface of an IPv6 link-local sender,
// else 0.
long ReceiveWsdDatagram(int fd, char* buffer, std::size_t size,
                        std::uint32_t& scope);

#endif  // QUELVARO_SPOOLER_WSD_WSD_SOCKETS_H
