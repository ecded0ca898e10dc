// Addresses and non-blocking connects.
#include "spooler/net/connect_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "spooler/net/host_text.h"

namespace {

std::vector<SocketAddress> Resolve(const std::string& host, int port,
                                   int flags) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  std::vector<SocketAddress> addresses;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints,
                  &found) != 0) {
    return addresses;
  }
  for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
    if (at->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SocketAddress address = {};
    std::memcpy(&address.address, at->ai_addr, at->ai_addrlen);
    address.length = at->ai_addrlen;
    addresses.push_back(address);
  }
  freeaddrinfo(found);
  return addresses;
}

}  // namespace

std::optional<std::vector<SocketAddress>> NumericAddresses(
    const std::string& host, int port) {
  if (!host.empty() && host[0] == '/') {
    SocketAddress address = {};
    auto& local = reinterpret_cast<sockaddr_un&>(address.address);
    local.sun_family = AF_UNIX;
    if (host.size() >= sizeof local.sun_path) {
      return std::vector<SocketAddress>();
    }
    std::memcpy(local.sun_path, host.c_str(), host.size() + 1);
    address.length = sizeof local;
    return std::vector<SocketAddress>{address};
  }
  std::vector<SocketAddress> numeric =
      Resolve(Unbracketed(host), port, AI_NUMERICHOST);
  if (numeric.empty()) return std::nullopt;
  return numeric;
}

std::vector<SocketAddress> LookUpAddresses(const std::string& host, int port) {
  if (std::optional<std::vector<SocketAddress>> numeric =
          NumericAddresses(host, port)) {
    return *numeric;
  }
  return Resolve(host, port, 0);
}

int StartConnect(const SocketAddress& address) {
  const int fd = socket(address.address.ss_family,
                        SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // Requests and TLS records go out as they are written: a TLS handshake
  // writes several small ones, which Nagle's algorithm would hold back for
  // the server's delayed acknowledgement.
  if (address.address.ss_family != AF_UNIX) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address.address),
              address.length) == 0 ||
      errno == EINPROGRESS || errno == EAGAIN) {
    return fd;
  }
  close(fd);
  return -1;
}

bool ConnectSucceeded(int fd) {
  int error = 0;
  socklen_t size = sizeof error;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
         error == 0;
}

bool IsLocalPeer(int fd) {
  sockaddr_storage peer = {};
  socklen_t size = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
    return false;
  }
  if (peer.ss_family == AF_UNIX) return true;
  if (peer.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
    return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
  }
  if (peer.ss_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) ||
           (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
  }
  return false;
}
