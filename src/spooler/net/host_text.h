// A host as a URI's authority writes it, and as a resolver takes it: an
// IPv6 address in brackets there, without them here.
#ifndef QUELVARO_SPOOLER_NET_HOST_TEXT_H
#define QUELVARO_SPOOLER_NET_HOST_TEXT_H

#include <string>

// The host without the brackets of an IPv6 address ("[::1]" gives "::1");
// any other host as it is.
inline std::string Unbracketed(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    return host.substr(1, host.size() - 2);
  }
  return host;
}

// The host as an authority writes it: a bare IPv6 address (it has colons)
// in brackets; any other host, and one already in brackets, as it is.
inline std::string Bracketed(const std::string& host) {
  if (host.find(':') == std::string::npos || host.front() == '[') return host;
  return "[" + host + "]";
}

#endif  // QUELVARO_SPOOLER_NET_HOST_TEXT_H
