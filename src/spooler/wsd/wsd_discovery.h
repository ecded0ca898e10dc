// Finding WSD print devices on the network: a WS-Discovery Probe for
// wprt:PrintDeviceType over UDP, then each device that answers asked for
// its metadata (its name) over HTTP, all moved along by the caller's poll
// loop. A device that gave no transport address is asked for one with a
// Resolve first. Probes and Resolves go out in both versions of
// WS-Discovery (wsd_namespaces.h), each twice, as the protocol asks for UDP;
// only answers to them count. The program sends nothing else: no Hello, no
// Bye, no answer to anyone's Probe, from a port of the system's choosing,
// never 3702.
#ifndef QUELVARO_SPOOLER_WSD_WSD_DISCOVERY_H
#define QUELVARO_SPOOLER_WSD_WSD_DISCOVERY_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "spooler/deadline.h"
#include "spooler/net/poll_set.h"
#include "spooler/wsd/wsd_metadata.h"
#include "spooler/wsd/wsd_namespaces.h"
#include "spooler/wsd/wsd_sockets.h"

struct WsdSettings {
  // Where Probes and Resolves go, at port: the discovery's multicast groups,
  // each on every interface that is up and takes multicast (loopback
  // included, when it does); an address that is no multicast one (a
  // test's) gets them once.
  std::vector<std::string> destinations = {"239.255.255.250", "ff02::c"};
  int port = 3702;
};

// A print device the discovery found, once by its endpoint reference
// address.
struct WsdDevice {
  std::string address;   // its endpoint reference address, as given
  std::string xaddr;     // where its metadata was asked for, else the first
                         // transport address it gave, without user
                         // information; empty when it gave none
  std::optional<std::string> friendly_name;  // from its metadata, UTF-8
  std::optional<std::string> model_name;
};

// An endpoint found. Where it stands is where the discovery holds it:
// resolving (its Resolve's ID in resolve_ids), asked for its metadata
// (waiting its turn or being asked, in metadata), or neither: all that will
// be known of it is.
struct WsdEndpoint {
  WsdDevice device;
  WsdVersion version = kWsd2005;  // of its first answer, spoken to it
  std::uint32_t scope = 0;        // the interface its answer came on
  Deadline resolve_end = {};      // while resolving
};

// A datagram to send again, to every destination, at a time.
struct WsdRepeat {
  Deadline when;
  std::string message;
};

struct WsdDiscovery {
  Deadline listen_end = {};        // Probes' answers are taken until then
  Deadline run_end = {};
  WsdSockets sockets;
  std::vector<std::string> probe_ids;   // our Probes' MessageIDs
  std::map<std::string, std::size_t> resolve_ids;  // a Resolve's: endpoint
  std::vector<WsdRepeat> repeats;
  std::vector<WsdEndpoint> endpoints;   // print devices, in the order found
  std::map<std::string, std::size_t> by_address;
  WsdMetadata metadata;
  std::size_t record_bytes = 0;         // what the devices keep
                                        // (kMostWsdRecordBytes)
};

// Starts the discovery at once: loads the XML parser (a run without it has
// no WSD: the discovery is over at once, with nothing), opens its sockets,
// sends the Probes. Answers to them are taken until discovery_end, or
// kWsdListenBound after the first Probe if that comes first; each device's
// Resolve and metadata request have kServerBound from their own start, and
// nothing goes on after run_end.
void StartWsdDiscovery(WsdDiscovery& discovery, const WsdSettings& settings,
                       Deadline discovery_end, Deadline run_end);

// What the discovery waits for, into set, and by when it must be moved on
// whatever its descriptors do.
void WsdPolls(const WsdDiscovery& discovery, PollSet& set, Deadline now);

// Moves the discovery on at now, after the wait on set: sends the Probes
// and Resolves due again, reads the answers that came (kWsdDatagramsAtOnce
// at most), moves the metadata requests on and starts those whose turn has
// come.
void ContinueWsdDiscovery(WsdDiscovery& discovery, const PollSet& set,
                          Deadline now);

// Whether the discovery is over: the Probes' answers are in and every
// device is done, or run_end has come.
bool IsWsdDiscoveryOver(const WsdDiscovery& discovery, Deadline now);

// Ends whatever is still under way (a device whose metadata has not come is
// known by its address alone), closes every socket, and returns each print
// device found, once by its endpoint reference address, in the order of
// addresses (bytes).
std::vector<WsdDevice> EndWsdDiscovery(WsdDiscovery& discovery);

#endif  // QUELVARO_SPOOLER_WSD_WSD_DISCOVERY_H
