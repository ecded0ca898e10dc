// The print servers known in a run, as the Remote scope lists them.
#ifndef QUELVARO_SPOOLER_REMOTE_KNOWN_SERVERS_H
#define QUELVARO_SPOOLER_REMOTE_KNOWN_SERVERS_H

#include <optional>
#include <string>
#include <vector>

#include "spooler/dnssd/dnssd_browse.h"
#include "spooler/printer_records.h"

// A print server: its "\\" name, and the URIs it is asked by, in the order
// they became known: the printer URIs that lead to it (ipp, ipps, http,
// https; a discovered server's with its address as the host) and "smb://"
// ones. The machine's own CUPS server has none: the run's view answers for
// it.
struct KnownServer {
  std::wstring name;
  std::vector<std::string> uris;
};

// The server a queue's device URI prints to, with the one URI it is asked
// by for that queue: an IPP one without user name or password, or
// "smb://server" (no user, no password, no workgroup, no share). None for a
// URI that leads to no print server (another scheme, no host, no port).
std::optional<KnownServer> ServerOfDeviceUri(const std::string& uri);

// The server a discovered service is, with the URI it is asked by: the host
// of a queue a print server shares (reached at the address it was found
// at), or an SMB server. None for any other service, and for one that was
// not resolved.
std::optional<KnownServer> ServerOfService(const DnssdService& service);

// The device URIs of a view's queues that can lead to print servers: those
// of the remote queues, and the SMB ones of all queues (CUPS takes a queue
// on an SMB share for one of its own), in queue order.
std::vector<std::string> ServerDeviceUris(const PrinterList& view);

// The servers of a run, each once by name (a host reached by IPP and by SMB
// under the same name is one server): own_server first (the machine's CUPS
// server, when it answered; none when not), then the server each of
// device_uris prints to, in order, then those the discovered services are.
std::vector<KnownServer> ServersOf(const std::optional<std::wstring>& own_server,
                                   const std::vector<std::string>& device_uris,
                                   const std::vector<DnssdService>& discovered);

#endif  // QUELVARO_SPOOLER_REMOTE_KNOWN_SERVERS_H
