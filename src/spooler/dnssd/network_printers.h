// What DNS-SD finds on the network, as the Network scope and the Remote
// scope's print servers show it.
#ifndef QUELVARO_SPOOLER_DNSSD_NETWORK_PRINTERS_H
#define QUELVARO_SPOOLER_DNSSD_NETWORK_PRINTERS_H

#include <vector>

#include "spooler/dnssd/dnssd_browse.h"
#include "spooler/printer_records.h"

// One record per discovered printer, whatever it is advertised as (IPP,
// IPPS, LPD, raw socket: an instance advertised as several counts once; SMB
// servers are no printers), in the order of instance names, whether it was
// resolved or not, from the first of its services in that order that was
// resolved:
//   pName         the instance name as advertised
//   pDescription  "name,make-and-model,location" (TXT ty and note; "name,,"
//                 for an instance not resolved)
//   pComment      its URI in the service's scheme: "ipp://host:port/rp",
//                 "ipps://...", "lpd://host:port/rp" (no port for LPD's
//                 515), "socket://host:port"; empty when not resolved
//   Flags         the printer icon
// and, at level 2, the name, the make and model as the driver, the location,
// the URI as the port, and the attributes NETWORK, with SHARED for a queue
// a print server shares (see IsSharedQueue).
PrinterList NetworkPrinters(const std::vector<DnssdService>& services);

// The services two browses found (each sorted and each instance once, as
// EndBrowse gives them), each instance once by name and type: a resolved
// one before one named only, the first list's before the second's; in the
// order EndBrowse gives.
std::vector<DnssdService> MergedServices(std::vector<DnssdService> first,
                                         std::vector<DnssdService> second);

// Whether a discovered printer is a queue a print server shares over IPP (a
// CUPS server advertises its shared queues with their printer-type in the
// TXT record and a resource under printers/ or classes/), rather than a
// printer that advertises itself.
bool IsSharedQueue(const DnssdService& service);

// The URI a discovered service is reached at, "scheme://host:port/rp", with
// host the given one (its host name to show, its address to connect to) and
// the port left out when it is the scheme's own.
std::string ServiceUri(const DnssdService& service, const std::string& scheme,
                       const std::string& host);

#endif  // QUELVARO_SPOOLER_DNSSD_NETWORK_PRINTERS_H
