// The loop of a network run, phase by phase: the CUPS server's queues,
// discovery, and every print server they lead to, asked side by side over
// one poll. A server becomes known (and waits its turn to be asked) as soon
// as the queues or discovery name it; each has its own bound, counted from
// its own start. What the loop finds goes to the report through the
// handoff, each part once. Every routine takes the time as `now`, so that
// the loop can be run in a test with a clock the test moves.
#ifndef QUELVARO_SPOOLER_RUN_RUN_LOOP_H
#define QUELVARO_SPOOLER_RUN_RUN_LOOP_H

#include <string>
#include <vector>

#include "spooler/dnssd/dnssd_browse.h"
#include "spooler/dnssd/unicast_browse.h"
#include "spooler/net/address_lookup.h"
#include "spooler/net/poll_set.h"
#include "spooler/remote/server_asking.h"
#include "spooler/run/asking_pool.h"
#include "spooler/run/run_handoff.h"
#include "spooler/run/server_registry.h"
#include "spooler/wsd/wsd_discovery.h"

// What a run is given before it starts.
struct RunSettings {
  CupsHost cups;             // where the machine's CUPS server is
  std::string user;          // requesting-user-name
  std::wstring own_name;     // the CUPS server's name under Remote
  std::string bus_address;   // the system bus, for discovery
  UnicastBrowseSettings unicast;  // the resolver, for DNS-SD in unicast DNS
  WsdSettings wsd;           // where WS-Discovery's Probes go
  RunBudget budget;          // what its servers may hold at once
  SmbStarter smb_starter;    // starts the SMB listings' children
};

struct RunLoop {
  RunSettings settings;
  Deadline run_end = {};
  SharedLookups lookups;
  AskingPool pool;
  ServerRegistry registry;   // the machine's CUPS server first
  DnssdBrowse browse;        // DNS-SD on the local link, through Avahi
  UnicastBrowse unicast;     // DNS-SD in the resolver's domains
  WsdDiscovery wsd;          // WSD print devices
  bool discovery_over = false;  // all three over, and handed over
  // What they found, the local link's then unicast DNS's: the servers the
  // services are are those of both (a queue may be shared under one name
  // in both, by two names of its server); the report's list of printers has
  // each instance once.
  std::vector<DnssdService> discovered;
  bool queues_in = false;    // the CUPS server's asking is over
  std::vector<std::string> device_uris;
  bool servers_known = false;
};

// Starts the run (its bound counted from started): the CUPS server is
// asked first, then the browses and WS-Discovery begin. Lookup threads
// start later, as names are to be looked up.
void StartRunLoop(RunLoop& loop, RunSettings settings, Deadline started);

// What the loop waits for, and by when it must go on whatever happens: the
// run's end at the latest.
PollSet WantedPolls(const RunLoop& loop, Deadline now);

// One turn of the loop after the wait, in these phases: the lookups
// answered; discovery (and the servers it names); the servers being asked;
// those whose asking is over; the run's servers, once the queues and
// discovery are in; the servers whose turn has come; the answers' memory;
// the lookups the servers want. At the run's end a turn does nothing: no
// connection, child or lookup starts then (EndRunLoop ends the run).
void ContinueRunLoop(RunLoop& loop, const PollSet& set, RunHandoff& handoff,
                     Deadline now);

// Whether the loop is done: everything handed over, or the run's end come.
bool IsRunLoopOver(const RunLoop& loop, Deadline now);

// Ends whatever is still under way and hands it over as it stands; then
// the handoff is over.
void EndRunLoop(RunLoop& loop, RunHandoff& handoff);

#endif  // QUELVARO_SPOOLER_RUN_RUN_LOOP_H
