// Where a WSD device is asked for its metadata: the first of its transport
// addresses (XAddrs) that the program can use.
#ifndef QUELVARO_SPOOLER_WSD_WSD_TARGET_H
#define QUELVARO_SPOOLER_WSD_WSD_TARGET_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "spooler/net/connect_socket.h"

struct WsdTarget {
  std::string xaddr;     // as given, without user information
  std::string host;      // numeric, without brackets
  int port = 0;
  std::string resource;  // path and query
  bool tls = false;      // https
  std::vector<SocketAddress> addresses;
};

// The first usable XAddr: http or https (in any case), with a port, and a
// host that is an address (an IPv4 one, or an IPv6 one in brackets, its
// zone written "%25" or "%"); an IPv6 link-local address without a zone is
// taken on the interface numbered scope, the one the answer came on. A host
// that is a name is passed over: a device gives the addresses it is
// reached at, and a name would take a lookup. None when none is usable.
std::optional<WsdTarget> FirstUsableXAddr(const std::vector<std::string>& xaddrs,
                                          std::uint32_t scope);

// What a device is shown reached at: the XAddr its metadata is asked at,
// else the first it gave (without user information); empty when it gave
// none.
std::string ShownXAddr(const std::optional<WsdTarget>& target,
                       const std::vector<std::string>& xaddrs);

#endif  // QUELVARO_SPOOLER_WSD_WSD_TARGET_H
