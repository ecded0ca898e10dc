// Finding services on the network by DNS-SD, through the machine's Avahi
// daemon on the D-Bus system bus: a browse that a poll loop moves along. The
// browse names each service instance; resolving one gives its host, address,
// port and TXT record. Many resolutions are under way at once, taken in
// turn from each browsed type, and each is handed over as it comes; an
// instance named but not resolved by the browse's end is still one of what
// it found.
#ifndef QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
#define QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "spooler/deadline.h"
#include "spooler/dnssd/type_turns.h"

// One service instance, as its resolution gives it (or, not resolved, its
// name and type alone).
struct DnssdService {
  std::string instance_name;  // as advertised, UTF-8 intact
  std::string service_type;   // "_ipp._tcp", ...
  std::string host_name;      // "host.local"
  std::string address;        // numeric, an IPv6 link-local one with its
                              // "%interface"
  int port = 0;
  // The TXT record by key: keys in lower case, as they are compared without
  // case; a key without "=" has an empty value; of a key given twice, the
  // first.
  std::map<std::string, std::string> txt;
  bool resolved = true;       // false: named by the browse, not resolved
};

// Where the browse saw an instance: Avahi's interface and protocol numbers.
struct DnssdPlace {
  std::int32_t interface;
  std::int32_t protocol;
};

// An instance the browse named: once per name and type, however many
// interfaces and protocols it was seen on.
struct DnssdInstance {
  std::string name;
  std::string type;
  std::string domain;
  std::vector<DnssdPlace> places;  // in the order seen
  std::size_t next_place = 0;      // the next to resolve it at
  bool queued = false;     // waiting in its type's turn
  bool resolving = false;
  bool resolved = false;
};

// What a call to the daemon that is waiting for its reply was for.
enum DnssdCallKind {
  kDnssdVersionCall,  // the daemon's version
  kDnssdBrowserCall,  // making a browser
  kDnssdResolveCall,  // resolving an instance
};
struct DnssdCall {
  DnssdCallKind kind;
  std::size_t instance;  // the one resolved
};

struct DBusConnection;
struct Dbus;
void CloseBus(DBusConnection* bus);
using BusConnection = std::unique_ptr<DBusConnection, decltype(&CloseBus)>;

// A browse in progress.
struct DnssdBrowse {
  const Dbus* dbus = nullptr;  // libdbus (dbus_library.h), once it is loaded
  BusConnection bus{nullptr, &CloseBus};
  Deadline deadline = {};
  std::vector<std::string> types;          // browsed, in this order
  // Avahi before 0.9 hands a TXT record's strings over in the reverse of
  // their order on the wire; its version says so before any resolution.
  bool txt_reversed = false;
  int browsers_left = 0;                   // not yet all-for-now or failed
  std::vector<DnssdInstance> instances;    // in the order named
  std::map<std::string, std::size_t> by_key;  // InstanceKey: index
  // The instances to be resolved, one queue per type, taken in turn.
  TypeTurns turns;
  std::size_t resolving = 0;               // calls under way
  std::size_t most_resolving = 0;          // at once (kMostResolving)
  std::map<std::uint32_t, DnssdCall> calls;  // by serial, awaiting replies
  std::vector<DnssdService> resolved;      // in the order they came
};

// Starts browsing, on the bus at bus_address, for services of the given
// types, to end by the deadline; loads libdbus the first time. Without a
// bus there, or without libdbus, the browse is over at once, with nothing.
// Throws RunFailure when libdbus is installed but cannot be loaded.
void StartBrowse(DnssdBrowse& browse, const std::string& bus_address,
                 const std::vector<std::string>& types, Deadline deadline);

// The bus connection's descriptor (-1 when there is none), what to poll it
// for, and the time by which ContinueBrowse must be called regardless.
int BrowseDescriptor(const DnssdBrowse& browse);
short BrowseEvents(const DnssdBrowse& browse);
Deadline BrowseWakeTime(const DnssdBrowse& browse);

// Moves the browse on at now (reads and writes what the bus has and takes,
// handles what came, asks for more resolutions); appends the services
// resolved meanwhile to newly.
void ContinueBrowse(DnssdBrowse& browse, std::vector<DnssdService>& newly,
                    Deadline now);

// Whether the browse is over: every browser has nothing more for now and
// every instance it named is resolved (or could not be), or the deadline
// has come, or the bus went away.
bool IsBrowseOver(const DnssdBrowse& browse, Deadline now);

// Ends the browse (closing its connection) and returns every instance it
// named, each once by name and type (the same instance seen on several
// interfaces or over both IP versions counts once): resolved as it was, or
// with its name and type alone; in the order of instance name (bytes), then
// type.
std::vector<DnssdService> EndBrowse(DnssdBrowse& browse);

// The order EndBrowse gives: instance name (bytes), then type.
bool InstanceOrder(const DnssdService& a, const DnssdService& b);

#endif  // QUELVARO_SPOOLER_DNSSD_DNSSD_BROWSE_H
