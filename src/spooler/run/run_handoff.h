// What a run hands from its loop's thread to the report's, and the report's
// waits for it: the only place where the two threads meet (under the
// HandoffLock, run_locks.h). Each part is handed over once and never changed
// after, so what a wait returns stays good for the rest of the process.
#ifndef QUELVARO_SPOOLER_RUN_RUN_HANDOFF_H
#define QUELVARO_SPOOLER_RUN_RUN_HANDOFF_H

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "spooler/deadline.h"
#include "spooler/dnssd/dnssd_browse.h"
#include "spooler/printer_records.h"
#include "spooler/remote/known_servers.h"
#include "spooler/run_failure.h"
#include "spooler/run_locks.h"
#include "spooler/wsd/wsd_discovery.h"

// What discovery found: the DNS-SD services (dnssd_browse.h, EndBrowse;
// each instance once, however it was found) and the WSD print devices
// (wsd_discovery.h, EndWsdDiscovery).
struct Discovery {
  std::vector<DnssdService> services;
  std::vector<WsdDevice> devices;
};

struct RunHandoff {
  HandoffLock lock;       // guards all of what follows
  Deadline give_up = {};  // the run's bound and grace: no wait goes past it
  bool view_given = false;
  std::optional<PrinterList> view;
  bool discovery_given = false;
  Discovery discovery;
  bool servers_given = false;
  std::vector<KnownServer> servers;
  // Each server's AsciiLower name, and whether it has URIs (the machine's
  // own has none): how a name asked by is found among thousands.
  std::map<std::wstring, bool> server_keys;
  // The servers' printers, by AsciiLower name.
  std::map<std::wstring, std::unique_ptr<PrinterList>> answers;
  bool over = false;      // the loop has ended: nothing more comes
  bool stopping = false;  // the report has asked the loop to end
  std::optional<RunFailure> failure;  // the run could not run: why
};

// The loop's side: each hands one part over (the first time only) and wakes
// the waits.
void GiveQueueView(RunHandoff& handoff, std::optional<PrinterList> view);
void GiveDiscovery(RunHandoff& handoff, Discovery discovery);
void GiveKnownServers(RunHandoff& handoff, std::vector<KnownServer> servers);
void GiveServerPrinters(RunHandoff& handoff, const std::wstring& name,
                        PrinterList printers);
void EndHandoff(RunHandoff& handoff);
// The run could not run (run_failure.h): the handoff ends with why.
void FailHandoff(RunHandoff& handoff, const RunFailure& failure);
// Whether the report has asked the loop to end (StopRun).
bool IsRunStopping(RunHandoff& handoff);

// The report's side: asks the loop to end at its next turn (the caller then
// wakes it); and why the run could not run, if it could not.
void StopRun(RunHandoff& handoff);
std::optional<RunFailure> RunFailureOf(RunHandoff& handoff);

// The report's waits: each blocks until its part is handed over, the loop is
// over, or give_up has passed; then returns the part, or none.
//
// The CUPS server's queues (printers and classes) in the server's order;
// none when no IPP answer came.
const std::optional<PrinterList>& WaitForQueueView(RunHandoff& handoff);
// What discovery found.
const Discovery& WaitForDiscovery(RunHandoff& handoff);
// The run's print servers (ServersOf).
const std::vector<KnownServer>& WaitForKnownServers(RunHandoff& handoff);
// The printers of the run's server by that name (compared as host names
// are), as it answered; null for a name that is no server of the run's, or
// the machine's own (the queue view answers for that).
// Waits for the servers, then for that server's asking alone.
const PrinterList* WaitForServerPrinters(RunHandoff& handoff,
                                         const std::wstring& name);

#endif  // QUELVARO_SPOOLER_RUN_RUN_HANDOFF_H
