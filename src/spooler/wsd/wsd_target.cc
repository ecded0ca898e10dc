// An XAddr taken apart as a device URI is (device_uri.h), its host checked
// to be an address.
#include "spooler/wsd/wsd_target.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "spooler/ascii_case.h"
#include "spooler/device_uri.h"
#include "spooler/net/host_text.h"

namespace {

// The host of an IPv6 literal with its zone as getaddrinfo takes it: "%25"
// (a URI's way of writing "%") as "%".
std::string ZoneUnescaped(std::string host) {
  const std::size_t zone = host.find("%25");
  if (zone != std::string::npos) host.erase(zone + 1, 2);
  return host;
}

// The link-local IPv6 addresses without a zone, on the given interface.
void PlaceLinkLocal(std::vector<SocketAddress>& addresses, std::uint32_t scope) {
  for (SocketAddress& address : addresses) {
    if (address.address.ss_family != AF_INET6) continue;
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address.address);
    if (IN6_IS_ADDR_LINKLOCAL(&v6.sin6_addr) && v6.sin6_scope_id == 0) {
      v6.sin6_scope_id = scope;
    }
  }
}

std::optional<WsdTarget> Target(const std::string& xaddr, std::uint32_t scope) {
  const std::string scheme = AsciiLower(xaddr.substr(0, xaddr.find(':')));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  if (xaddr.compare(scheme.size(), 3, "://") != 0) return std::nullopt;
  // UriPort gives a scheme's own port for its lower-case name only.
  const std::string uri = scheme + xaddr.substr(scheme.size());
  WsdTarget target;
  target.host = ZoneUnescaped(Unbracketed(UriHost(uri)));
  target.port = UriPort(uri);
  // A host that is a socket's path would be taken as one by
  // NumericAddresses: never from a device.
  if (target.host.empty() || target.host[0] == '/' || target.port == 0) {
    return std::nullopt;
  }
  // An IPv4 address in its dotted form (not "2001", which the resolver
  // would read as 0.0.7.209); an IPv6 one in brackets, and only there.
  const bool bracketed = UriHost(uri).front() == '[';
  in6_addr bytes;
  if (bracketed ? inet_pton(AF_INET6, target.host.substr(0, target.host.find('%')).c_str(),
                            &bytes) != 1
                : inet_pton(AF_INET, target.host.c_str(), &bytes) != 1) {
    return std::nullopt;
  }
  std::optional<std::vector<SocketAddress>> addresses =
      NumericAddresses(target.host, target.port);
  if (!addresses || addresses->empty()) return std::nullopt;
  target.addresses = std::move(*addresses);
  PlaceLinkLocal(target.addresses, scope);
  target.xaddr = UriWithoutCredentials(xaddr);
  target.resource = UriResource(uri);
  target.tls = scheme == "https";
  return target;
}

}  // namespace

std::optional<WsdTarget> FirstUsableXAddr(const std::vector<std::string>& xaddrs,
                                          std::uint32_t scope) {
  for (const std::string& xaddr : xaddrs) {
    if (std::optional<WsdTarget> target = Target(xaddr, scope)) return target;
  }
  return std::nullopt;
}

std::string ShownXAddr(const std::optional<WsdTarget>& target,
                       const std::vector<std::string>& xaddrs) {
  if (target) return target->xaddr;
  return xaddrs.empty() ? std::string() : UriWithoutCredentials(xaddrs.front());
}
