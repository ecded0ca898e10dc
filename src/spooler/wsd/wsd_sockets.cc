// Multicast sends with IP_MULTICAST_IF and IPV6_MULTICAST_IF, one interface
// after another, over one socket per IP version; no group is joined, so
// the sockets hear nothing but what is sent to their own port.
#include "spooler/wsd/wsd_sockets.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "spooler/run_limits.h"

namespace {

bool IsMulticast(const SocketAddress& address) {
  if (address.address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address.address);
    return IN_MULTICAST(ntohl(v4.sin_addr.s_addr));
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address.address);
  return IN6_IS_ADDR_MULTICAST(&v6.sin6_addr);
}

// The interfaces that are up, take multicast and have an address of the
// family, each once, in the order the system lists them.
std::vector<unsigned> MulticastInterfaces(int family) {
  std::vector<unsigned> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owned(list, &freeifaddrs);
  for (const ifaddrs* at = list; at != nullptr; at = at->ifa_next) {
    if (at->ifa_addr == nullptr || at->ifa_addr->sa_family != family ||
        (at->ifa_flags & IFF_UP) == 0 || (at->ifa_flags & IFF_MULTICAST) == 0) {
      continue;
    }
    const unsigned index = if_nametoindex(at->ifa_name);
    if (index != 0 && std::find(found.begin(), found.end(), index) == found.end()) {
      found.push_back(index);
    }
  }
  return found;
}

// A non-blocking UDP socket bound to a port of the system's choosing.
WsdSocket OpenSocket(int family) {
  WsdSocket none(nullptr, &CloseWsdSocket);
  const int fd = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return none;
  WsdSocket opened(new WsdSocketFd{fd}, &CloseWsdSocket);
  sockaddr_storage any = {};
  socklen_t size = sizeof(sockaddr_in);
  any.ss_family = static_cast<sa_family_t>(family);
  if (family == AF_INET6) {
    const int only = 1;
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    size = sizeof(sockaddr_in6);
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&any), size) != 0) return none;
  // Less, if the kernel's maximum is lower: answers are read every turn.
  const int buffer = kWsdReceiveBufferBytes;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  return opened;
}

void SendOne(int fd, const SocketAddress& to, const std::string& message) {
  // A full buffer or an interface that refuses: the repetition may pass.
  sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
         reinterpret_cast<const sockaddr*>(&to.address), to.length);
}

}  // namespace

void CloseWsdSocket(WsdSocketFd* socket) {
  const std::unique_ptr<WsdSocketFd> owned(socket);
  if (socket != nullptr && socket->fd >= 0) close(socket->fd);
}

bool OpenWsdSockets(WsdSockets& sockets, const std::vector<std::string>& destinations,
                    int port) {
  sockets = WsdSockets();
  for (const std::string& text : destinations) {
    const std::optional<std::vector<SocketAddress>> numeric =
        text.empty() || text[0] == '/' ? std::nullopt : NumericAddresses(text, port);
    if (!numeric || numeric->empty()) continue;
    WsdDestination destination = {numeric->front(), {}};
    const int family = destination.address.address.ss_family;
    if (IsMulticast(destination.address)) {
      destination.interfaces = MulticastInterfaces(family);
      if (destination.interfaces.empty()) continue;
    }
    WsdSocket& socket = family == AF_INET ? sockets.v4 : sockets.v6;
    if (!socket) socket = OpenSocket(family);
    if (!socket) continue;
    sockets.destinations.push_back(std::move(destination));
  }
  if (sockets.destinations.empty()) {
    sockets = WsdSockets();
    return false;
  }
  return true;
}

void SendToDestinations(const WsdSockets& sockets, const std::string& message) {
  for (const WsdDestination& destination : sockets.destinations) {
    SocketAddress to = destination.address;
    const bool v4 = to.address.ss_family == AF_INET;
    const int fd = (v4 ? sockets.v4 : sockets.v6)->fd;
    if (destination.interfaces.empty()) {
      SendOne(fd, to, message);
      continue;
    }
    for (unsigned index : destination.interfaces) {
      if (v4) {
        ip_mreqn on = {};
        on.imr_ifindex = static_cast<int>(index);
        if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &on, sizeof on) != 0) continue;
      } else {
        if (setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) != 0) {
          continue;
        }
        reinterpret_cast<sockaddr_in6&>(to.address).sin6_scope_id = index;
      }
      SendOne(fd, to, message);
    }
  }
}

long ReceiveWsdDatagram(int fd, char* buffer, std::size_t size,
                        std::uint32_t& scope) {
  sockaddr_storage from = {};
  socklen_t from_size = sizeof from;
  ssize_t got = -1;
  do {
    // MSG_TRUNC: the datagram's own size, however much of it fit.
    got = recvfrom(fd, buffer, size, MSG_TRUNC,
                   reinterpret_cast<sockaddr*>(&from), &from_size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return -1;
  scope = 0;
  if (from.ss_family == AF_INET6) {
    scope = reinterpret_cast<const sockaddr_in6&>(from).sin6_scope_id;
  }
  return static_cast<std::size_t>(got) > size ? 0 : static_cast<long>(got);
}
