// Name lookup and connect, each bounded in time.
#include "spooler/ipp/connect_socket.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

namespace {

// How long one address may take to accept the connection.
const std::chrono::seconds kConnectBound(3);

using AddressList = std::shared_ptr<addrinfo>;

AddressList LookUp(const std::string& host, int port, int flags) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints,
                  &found) != 0) {
    return nullptr;
  }
  return AddressList(found, &freeaddrinfo);
}

// The addresses of host. A numeric address needs no lookup; a name is looked
// up on a thread that is left behind when the deadline passes first (it
// owns its part of the shared state, and ends when the lookup does).
AddressList Addresses(std::string host, int port, Deadline deadline) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (AddressList numeric = LookUp(host, port, AI_NUMERICHOST)) return numeric;
  auto promise = std::make_shared<std::promise<AddressList>>();
  std::future<AddressList> result = promise->get_future();
  std::thread([promise, host, port] {
    promise->set_value(LookUp(host, port, 0));
  }).detach();
  if (result.wait_until(deadline) != std::future_status::ready) return nullptr;
  return result.get();
}

// Connects fd to the address, waiting at most until the deadline.
bool Connected(int fd, const sockaddr* address, socklen_t length,
               Deadline deadline) {
  if (connect(fd, address, length) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd waiting = {fd, POLLOUT, 0};
  if (poll(&waiting, 1, MillisecondsLeft(deadline)) != 1) return false;
  int error = 0;
  socklen_t size = sizeof error;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
         error == 0;
}

int OpenSocket(int family) {
  return socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

int ConnectLocal(const std::string& path, Deadline deadline) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = OpenSocket(AF_UNIX);
  if (fd < 0) return -1;
  if (Connected(fd, reinterpret_cast<const sockaddr*>(&address),
                sizeof address, deadline)) {
    return fd;
  }
  close(fd);
  return -1;
}

}  // namespace

int MillisecondsLeft(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

int ConnectSocket(const std::string& host, int port, Deadline deadline) {
  if (!host.empty() && host[0] == '/') return ConnectLocal(host, deadline);
  const AddressList addresses = Addresses(host, port, deadline);
  for (const addrinfo* address = addresses.get(); address != nullptr;
       address = address->ai_next) {
    if (std::chrono::steady_clock::now() >= deadline) break;
    const int fd = OpenSocket(address->ai_family);
    if (fd < 0) continue;
    const Deadline attempt =
        std::min(deadline, std::chrono::steady_clock::now() + kConnectBound);
    if (Connected(fd, address->ai_addr, address->ai_addrlen, attempt)) {
      return fd;
    }
    close(fd);
  }
  return -1;
}
