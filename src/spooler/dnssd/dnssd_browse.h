// Finding services on the network by DNS-SD, through the machine's Avahi
// daemon.
#ifndef QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
#define QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "spooler/ipp/connect_socket.h"

// What a found service's resolution gives, by position.
enum DnssdField {
  kInstanceName,  // as advertised, UTF-8 intact
  kServiceType,   // "_ipp._tcp", ...
  kHostName,      // "host.local"
  kAddress,       // numeric, an IPv6 link-local one with its "%interface"
  kPort,          // decimal
  kDnssdFields
};

// One service: its resolution, and its TXT record by key (keys in lower
// case, as they are compared without case; a key without "=" has an empty
// value).
using DnssdService =
    std::pair<std::array<std::string, kDnssdFields>,
              std::map<std::string, std::string>>;

// The services of the given types that the network answers for by the
// deadline, each once (the same instance seen on several interfaces or over
// both IP versions counts once), in the order of instance name (bytes), then type.
// Nothing, at once, when there is no Avahi daemon to ask.
std::vector<DnssdService> BrowseServices(const std::vector<std::string>& types,
                                         Deadline deadline);

#endif  // QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
