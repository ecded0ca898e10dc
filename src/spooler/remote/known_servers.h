// The print servers known in a run, as the Remote scope lists them.
#ifndef QUELVARO_SPOOLER_REMOTE_KNOWN_SERVERS_H
#define QUELVARO_SPOOLER_REMOTE_KNOWN_SERVERS_H

#include <string>
#include <vector>

#include "spooler/dnssd/dnssd_browse.h"

// A print server: its "\\" name, and the URIs it is asked by, in the order
// they became known: the printer URIs that lead to it (ipp, ipps, http,
// https; a discovered server's with its address as the host) and "smb://"
// ones. The machine's own CUPS server has none: the run's view answers for
// it.
struct KnownServer {
  std::wstring name;
  std::vector<std::string> uris;
};

// The servers of a run, each once by name (names compared without case; a
// host reached by IPP and by SMB under the same name is one server): own_server
// first (the machine's CUPS server, when it answered; empty when not), then
// the server each of device_uris prints to (the device URIs of the remote
// queues and of the queues on SMB shares, in queue order; those of other
// schemes lead nowhere), then the host of each discovered queue a print
// server shares, and each discovered SMB server.
std::vector<KnownServer> ServersOf(const std::wstring& own_server,
                                   const std::vector<std::string>& device_uris,
                                   const std::vector<DnssdService>& discovered);

// The run's servers, from the run's view of the CUPS server's queues and
// its discovery; made at the first call.
const std::vector<KnownServer>& KnownServers();

#endif  // QUELVARO_SPOOLER_REMOTE_KNOWN_SERVERS_H
