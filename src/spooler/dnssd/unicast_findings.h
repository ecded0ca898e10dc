// What a unicast DNS-SD browse finds, read from its answers: the domains
// to browse, the instances they hold, the hosts their SRV records name,
// and when an instance is resolved. Each is kept once, within the browse's
// bounds; what a question leads to waits in the browse's queues to be
// asked (unicast_browse.cc asks).
#ifndef QUELVARO_SPOOLER_DNSSD_UNICAST_FINDINGS_H
#define QUELVARO_SPOOLER_DNSSD_UNICAST_FINDINGS_H

#include <string>
#include <vector>

#include "spooler/dnssd/cares_library.h"
#include "spooler/dnssd/unicast_browse.h"

// A domain to browse (as DottedName writes it), once, its name compared
// without case: its services of each type wait to be asked for. False when
// it was not added (known already, or past the bounds).
bool AddBrowsedDomain(UnicastBrowse& browse, const std::string& name);

// Reads one answer (or failure) into the browse; appends the instances it
// resolves to newly.
void ReadUnicastAnswer(UnicastBrowse& browse, const Cares& cares,
                       const UnicastAnswer& answer,
                       std::vector<DnssdService>& newly);

// The instance as a service: resolved, with its host, address, port and
// TXT record, or its name and type alone.
DnssdService UnicastServiceOf(const UnicastBrowse& browse,
                              const UnicastInstance& instance);

#endif  // QUELVARO_SPOOLER_DNSSD_UNICAST_FINDINGS_H
