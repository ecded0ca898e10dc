// Finding services on the network by DNS-SD, through the machine's Avahi
// daemon on the D-Bus system bus: a browse that a poll loop moves along,
// resolving many services at once and handing each over as it is resolved.
#ifndef QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
#define QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
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

// A service a browser has named, to be resolved.
struct DnssdFound {
  std::int32_t interface;
  std::int32_t protocol;
  std::string name;
  std::string type;
  std::string domain;
};

// What a call to the daemon that is waiting for its reply was for.
enum DnssdCall { kDnssdBrowserCall, kDnssdResolveCall };

struct DBusConnection;
void CloseBus(DBusConnection* bus);
using BusConnection = std::unique_ptr<DBusConnection, decltype(&CloseBus)>;

// A browse in progress.
struct DnssdBrowse {
  BusConnection bus{nullptr, &CloseBus};
  Deadline deadline = {};
  int browsers_left = 0;                  // not yet all-for-now or failed
  std::deque<DnssdFound> to_resolve;      // named, not yet asked about
  std::map<std::uint32_t, DnssdCall> calls;  // by serial, awaiting replies
  std::vector<DnssdService> resolved;     // in the order they came
};

// Starts browsing for services of the given types, to end by the deadline.
// Without a system bus the browse is over at once, with nothing.
void StartBrowse(DnssdBrowse& browse, const std::vector<std::string>& types,
                 Deadline deadline);

// The bus connection's descriptor (-1 when there is none), what to poll it
// for, and the time by which ContinueBrowse must be called regardless.
int BrowseDescriptor(const DnssdBrowse& browse);
short BrowseEvents(const DnssdBrowse& browse);
Deadline BrowseWakeTime(const DnssdBrowse& browse);

// Moves the browse on (reads and writes what the bus has and takes, handles
// what came, asks for more resolutions); appends the services resolved
// meanwhile to newly.
void ContinueBrowse(DnssdBrowse& browse, std::vector<DnssdService>& newly);

// Whether the browse is over: every browser has nothing more for now and
// every service it named is resolved (or failed), or the deadline passed,
// or the bus went away.
bool IsBrowseOver(const DnssdBrowse& browse);

// Ends the browse (closing its connection) and returns what it resolved,
// each service once (the same instance seen on several interfaces or over
// both IP versions counts once), in the order of instance name (bytes),
// then type.
std::vector<DnssdService> EndBrowse(DnssdBrowse& browse);

#endif  // QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
