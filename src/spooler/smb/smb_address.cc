// The server of an smb:// URI: a host name as written, else the addresses
// libsmbclient reads as such.
#include "spooler/smb/smb_address.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>

#include "spooler/net/host_text.h"

namespace {

// Whether the resolver reads host as an address (and not as a name): also
// the short forms inet_aton takes, such as 127.1.
bool IsNumericHost(const std::string& host) {
  addrinfo hints = {};
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return false;
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(
      found, &freeaddrinfo);
  return true;
}

// A name libsmbclient can be given as it is: in an smb:// URI anything but
// these letters would be read as something else (%XX escapes, a user before
// '@', a port after ':', a path after '/').
bool IsPlainHostName(const std::string& host) {
  if (host.empty() || host.front() == '.' || host.front() == '-') return false;
  for (const char c : host) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                        c == '.';
    if (!letter) return false;
  }
  return !IsNumericHost(host);
}

// An address the resolver gave, in the form libsmbclient takes for an
// address: 192.0.2.7, or fe80--1s2.ipv6-literal.net for fe80::1%2 (an IPv6
// address's colons would read as a port); empty optional when it has none.
std::optional<std::string> SmbNumericAddress(const addrinfo& address) {
  char numeric[NI_MAXHOST];
  if (getnameinfo(address.ai_addr, address.ai_addrlen, numeric,
                  sizeof numeric, nullptr, 0, NI_NUMERICHOST) != 0) {
    return std::nullopt;
  }
  std::string written = numeric;
  if (address.ai_family != AF_INET6) return written;

  // Windows' way of writing an IPv6 address as a name, which Samba reads
  // back: '-' for each ':', 's' before the zone.
  for (char& c : written) {
    if (c == ':') c = '-';
    if (c == '%') c = 's';
  }
  return written + ".ipv6-literal.net";
}

// The numeric addresses of server, each once, in the resolver's order.
std::vector<std::string> SmbNumericAddresses(const std::string& server) {
  std::vector<std::string> written;
  const std::string host = Unbracketed(server);
  if (host.empty()) return written;

  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return written;
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(
      found, &freeaddrinfo);
  for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
    std::optional<std::string> address = SmbNumericAddress(*at);
    if (address && std::find(written.begin(), written.end(), *address) ==
                       written.end()) {
      written.push_back(std::move(*address));
    }
  }
  return written;
}

}  // namespace

std::optional<SmbServerToAsk> SmbServerAsAsked(const std::string& server) {
  if (IsPlainHostName(server)) return SmbServerToAsk{{server}, true};
  std::vector<std::string> addresses = SmbNumericAddresses(server);
  if (addresses.empty()) return std::nullopt;
  return SmbServerToAsk{std::move(addresses), false};
}
