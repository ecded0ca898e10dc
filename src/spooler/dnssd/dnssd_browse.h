// Finding services on the network by DNS-SD, through the machine's Avahi
// daemon.
#ifndef QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
#define QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H

#include <map>
#include <string>
#include <vector>

#include "spooler/ipp/connect_socket.h"

// One service, as its resolution gives it.
struct DnssdService {
  std::string instance_name;  // as advertised, UTF-8 intact
  std::string service_type;   // "_ipp._tcp", ...
  std::string host_name;      // "host.local"
  std::string address;        // numeric, an IPv6 link-local one with its
                              // "%interface"
  int port = 0;
  // The TXT record by key: keys in lower case, as they are compared without
  // case; a key without "=" has an empty value.
  std::map<std::string, std::string> txt;
};

// The services of the given types that the network answers for by the
// deadline, each once (the same instance seen on several interfaces or over
// both IP versions counts once), in the order of instance name (bytes), then type.
// Nothing, at once, when there is no Avahi daemon to ask.
std::vector<DnssdService> BrowseServices(const std::vector<std::string>& types,
                                         Deadline deadline);

#endif  // QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
