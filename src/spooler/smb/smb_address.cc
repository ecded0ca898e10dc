// Turning a server name into an address libsmbclient reads as one.
#include "spooler/smb/smb_address.h"

#include <netdb.h>
#include <sys/socket.h>

#include <memory>

std::optional<std::string> SmbNumericAddress(const std::string& server) {
  std::string host = server;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (host.empty()) return std::nullopt;

  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(
      found, &freeaddrinfo);

  char numeric[NI_MAXHOST];
  if (getnameinfo(addresses->ai_addr, addresses->ai_addrlen, numeric,
                  sizeof numeric, nullptr, 0, NI_NUMERICHOST) != 0) {
    return std::nullopt;
  }
  std::string address = numeric;
  if (addresses->ai_family != AF_INET6) return address;

  // Windows' way of writing an IPv6 address as a name, which Samba reads
  // back: '-' for each ':', 's' before the zone.
  for (char& c : address) {
    if (c == ':') c = '-';
    if (c == '%') c = 's';
  }
  return address + ".ipv6-literal.net";
}
