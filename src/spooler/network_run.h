// The sources of a run, asked in the background: the CUPS server's queues,
// DNS-SD discovery, and every print server they lead to, all on one thread
// of the run's own by one poll loop, from the first call that needs any of
// them. Each source is asked once; what it answered is kept for the run and
// never changes once given out, so a filling call finds exactly what its
// sizing call measured.
#ifndef QUELVARO_SPOOLER_NETWORK_RUN_H
#define QUELVARO_SPOOLER_NETWORK_RUN_H

#include <optional>
#include <string>
#include <vector>

#include "spooler/dnssd/dnssd_browse.h"
#include "spooler/printer_records.h"
#include "spooler/remote/known_servers.h"

// The CUPS server's queues (printers and classes), in the server's order,
// as one CUPS-Get-Printers request answered them; none when no IPP answer
// came. Waits for that answer (kServerBound at most).
const std::optional<PrinterList>& RunQueueView();

// The services discovery found: IPP printers ("_ipp._tcp", "_ipps._tcp")
// and SMB servers ("_smb._tcp"). Waits for the browse to end (its bound at
// most).
const std::vector<DnssdService>& RunDiscovery();

// The run's print servers (ServersOf the machine's own, the ones its queues
// print to, the discovered ones). Waits for the queues and discovery.
const std::vector<KnownServer>& RunKnownServers();

// The printers of the run's server by that name (compared as host names
// are), as it answered; null for a name that is no server of the run's, or
// the machine's own (the queues answer for that). Waits for that server's
// asking alone, which its own bound ends.
const PrinterList* RunServerPrinters(const std::wstring& name);

#endif  // QUELVARO_SPOOLER_NETWORK_RUN_H
