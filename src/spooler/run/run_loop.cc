// The loop's phases.
#include "spooler/run/run_loop.h"

#include <algorithm>
#include <iterator>

#include "spooler/dnssd/network_printers.h"
#include "spooler/run/server_stage.h"
#include "spooler/run_limits.h"

namespace {

// The services discovery browses for: IPP printers and the queues print
// servers share, over IPP and IPPS; printers that take LPD or a raw socket;
// SMB servers.
const char* const kBrowsedTypes[] = {"_ipp._tcp", "_ipps._tcp", "_printer._tcp",
                                     "_pdl-datastream._tcp", "_smb._tcp"};

void Move(RunLoop& loop, std::size_t index, RunServerStage to) {
  MoveServer(loop.registry, loop.pool, index, to);
}

// The machine's CUPS server: the one asked where the client configuration
// says (StartRunLoop registers it first).
bool IsOwnServer(const RunServer& server) { return server.asking.cups.has_value(); }

// The run's servers as they stand: the CUPS server's name where it answered.
std::vector<KnownServer> RunServers(const RunLoop& loop) {
  std::optional<std::wstring> own;
  if (HasIppAnswer(loop.registry.servers.front().asking)) {
    own = loop.settings.own_name;
  }
  return ServersOf(own, loop.device_uris, loop.discovered);
}

// The server's printers are the report's: it stops, whatever it was at,
// and keeps nothing but its name.
void GiveServer(RunLoop& loop, RunHandoff& handoff, std::size_t index) {
  Move(loop, index, kServerGiven);
  ServerAsking& asking = loop.registry.servers[index].asking;
  PrinterList printers = StopAndTakePrinters(asking);
  GiveServerPrinters(handoff, asking.server.name, std::move(printers));
  ReleaseAsking(asking);
}

// The CUPS server's answer is the queue view (none when no IPP answer came).
void GiveOwnServer(RunLoop& loop, RunHandoff& handoff) {
  Move(loop, 0, kServerGiven);
  ServerAsking& asking = loop.registry.servers.front().asking;
  std::optional<PrinterList> view;
  PrinterList printers = StopAndTakePrinters(asking);
  if (HasIppAnswer(asking)) view = std::move(printers);
  if (view) loop.device_uris = ServerDeviceUris(*view);
  GiveQueueView(handoff, std::move(view));
}

// The server of that name, registered (waiting its turn) when new, knows
// the URI: one being asked asks by it as it calls for, one over is asked
// again when it does. The machine's CUPS server is asked where the
// configuration says and nowhere else (its answer is the queues), whatever
// else is found under its name.
void RegisterServerUri(RunLoop& loop, const std::wstring& name,
                       const std::string& uri, Deadline now) {
  const RegisteredServer registered = RegisterServer(loop.registry, name);
  RunServer& server = loop.registry.servers[registered.index];
  if (registered.added) {
    server.asking.user = loop.settings.user;
    server.asking.smb_starter = loop.settings.smb_starter;
  }
  if (server.stage == kServerGiven || IsOwnServer(server)) return;
  AddAskingUri(server.asking, uri, loop.run_end, now);
  if (server.stage == kServerOver && !IsAskingOver(server.asking)) {
    Move(loop, registered.index, kServerAsking);
  } else if (server.stage == kServerAsking) {
    TakeMoreDescriptors(loop.pool, server);
  }
}

// A server whose asking is over gives back what it held, and its printers
// go to the report once no URI can come for it any more. The CUPS server's
// are the queue view, and the servers its queues print to are registered
// at once.
void FinishServer(RunLoop& loop, RunHandoff& handoff, std::size_t index,
                  Deadline now) {
  if (!IsOwnServer(loop.registry.servers[index])) {
    Move(loop, index, kServerOver);
    if (loop.servers_known) GiveServer(loop, handoff, index);
    return;
  }
  loop.queues_in = true;
  GiveOwnServer(loop, handoff);
  for (const std::string& uri : loop.device_uris) {
    if (std::optional<KnownServer> named = ServerOfDeviceUri(uri)) {
      RegisterServerUri(loop, named->name, named->uris.front(), now);
    }
  }
}

// Phase: the servers being asked whose asking is over are finished.
// Finishing registers more servers (waiting) and may ask one over again;
// those come after the ones looked at here.
void FinishAskingsOver(RunLoop& loop, RunHandoff& handoff, Deadline now) {
  const std::size_t known = loop.registry.servers.size();
  for (std::size_t index = 0; index < known; ++index) {
    const RunServer& server = loop.registry.servers[index];
    if (server.stage == kServerAsking && IsAskingOver(server.asking)) {
      FinishServer(loop, handoff, index, now);
    }
  }
}

// Phase: the addresses looked up go to the servers that wait for them.
void TakeLookupAnswers(RunLoop& loop, Deadline now) {
  for (AddressAnswer& answer : TakeAddressAnswers(loop.lookups)) {
    if (answer.asker >= loop.registry.servers.size()) continue;
    RunServer& server = loop.registry.servers[answer.asker];
    if (server.stage != kServerAsking) continue;
    GiveAddresses(server.asking, std::move(answer.addresses), now);
  }
}

bool IsDiscoveryOver(const RunLoop& loop, Deadline now) {
  return IsBrowseOver(loop.browse, now) &&
         IsUnicastBrowseOver(loop.unicast, now) &&
         IsWsdDiscoveryOver(loop.wsd, now);
}

// Discovery ends, and what it found goes to the report: each DNS-SD
// instance once however it was found, and the WSD print devices.
void EndDiscovery(RunLoop& loop, RunHandoff& handoff) {
  loop.discovery_over = true;
  loop.discovered = EndBrowse(loop.browse);
  std::vector<DnssdService> unicast = EndUnicastBrowse(loop.unicast);
  GiveDiscovery(handoff, {MergedServices(loop.discovered, unicast),
                          EndWsdDiscovery(loop.wsd)});
  for (DnssdService& service : unicast) loop.discovered.push_back(std::move(service));
}

// Phase: discovery moves on, DNS-SD on the local link and in unicast DNS,
// and WS-Discovery; a server a resolved service names is registered at
// once; at its end, what it found goes to the report.
void ContinueDiscovery(RunLoop& loop, const PollSet& set, RunHandoff& handoff,
                       Deadline now) {
  if (loop.discovery_over) return;
  std::vector<DnssdService> newly;
  if (!IsBrowseOver(loop.browse, now)) ContinueBrowse(loop.browse, newly, now);
  if (!IsUnicastBrowseOver(loop.unicast, now)) {
    ContinueUnicastBrowse(loop.unicast, set, newly, now);
  }
  ContinueWsdDiscovery(loop.wsd, set, now);
  for (const DnssdService& service : newly) {
    if (std::optional<KnownServer> named = ServerOfService(service)) {
      RegisterServerUri(loop, named->name, named->uris.front(), now);
    }
  }
  if (IsDiscoveryOver(loop, now)) EndDiscovery(loop, handoff);
}

// Phase: every server being asked moves on after the wait.
void ContinueAskings(RunLoop& loop, const PollSet& set, Deadline now) {
  for (RunServer& server : loop.registry.servers) {
    if (server.stage != kServerAsking) continue;
    ContinueAsking(server.asking, set, now, AnswerRoom(loop.pool, server));
    CountHeldBytes(loop.pool, server);
  }
}

// Phase: once the queues and discovery are in, the run's servers are
// known: each registered by every URI it is known by (those not asked yet
// are then asked), each server's answers put in the order the run lists
// its URIs, the list handed to the report, and the answers of those over
// already given.
void HandOverKnownServers(RunLoop& loop, RunHandoff& handoff, Deadline now) {
  if (loop.servers_known || !loop.queues_in || !loop.discovery_over) return;
  std::vector<KnownServer> servers = RunServers(loop);
  for (const KnownServer& server : servers) {
    for (const std::string& uri : server.uris) {
      RegisterServerUri(loop, server.name, uri, now);
    }
    const RegisteredServer registered = RegisterServer(loop.registry, server.name);
    loop.registry.servers[registered.index].asking.order = server.uris;
  }
  loop.servers_known = true;
  GiveKnownServers(handoff, std::move(servers));
  for (std::size_t index = 0; index < loop.registry.servers.size(); ++index) {
    if (loop.registry.servers[index].stage == kServerOver) {
      GiveServer(loop, handoff, index);
    }
  }
}

// Phase: the servers whose turn has come start; one over at once (no
// connection could even begin) is finished, which gives its room to the
// next. Each server has its turn once, so this ends.
void StartServersInTurn(RunLoop& loop, RunHandoff& handoff, Deadline now) {
  while (IsTurnDue(loop.registry, loop.pool)) {
    const std::size_t index = loop.registry.next_waiting;
    Move(loop, index, kServerAsking);
    ServerAsking& asking = loop.registry.servers[index].asking;
    StartAsking(asking, loop.run_end, now);
    if (IsAskingOver(asking)) FinishServer(loop, handoff, index, now);
  }
}

// Phase: the lookups the servers being asked wait for are asked for.
void AskWantedLookups(RunLoop& loop) {
  for (std::size_t index = 0; index < loop.registry.servers.size(); ++index) {
    RunServer& server = loop.registry.servers[index];
    if (server.stage != kServerAsking || !WantsAddresses(server.asking)) continue;
    server.asking.lookup_asked = true;
    AskAddresses(loop.lookups, index, server.asking.http.request.host,
                 server.asking.http.request.port);
  }
}

}  // namespace

void StartRunLoop(RunLoop& loop, RunSettings settings, Deadline started) {
  loop.settings = std::move(settings);
  loop.run_end = started + kRunBound;
  loop.lookups = StartAddressLookups();
  loop.pool = NewAskingPool(loop.settings.budget);
  RegisterServer(loop.registry, loop.settings.own_name);
  ServerAsking& own = loop.registry.servers.front().asking;
  own.cups = loop.settings.cups;
  own.user = loop.settings.user;
  own.smb_starter = loop.settings.smb_starter;
  // The CUPS server is asked first, before discovery loads its libraries
  // and sends its questions: the Local scopes wait for it alone. (One over
  // at once is finished at the first turn.)
  if (IsTurnDue(loop.registry, loop.pool)) {
    Move(loop, 0, kServerAsking);
    StartAsking(own, loop.run_end, started);
  }
  const std::vector<std::string> types(std::begin(kBrowsedTypes),
                                       std::end(kBrowsedTypes));
  const Deadline discovery_end = std::min(started + kDiscoveryBound, loop.run_end);
  StartBrowse(loop.browse, loop.settings.bus_address, types, discovery_end);
  StartUnicastBrowse(loop.unicast, loop.settings.unicast, types, discovery_end);
  StartWsdDiscovery(loop.wsd, loop.settings.wsd, discovery_end,
                    std::min(discovery_end + kWsdLateBound, loop.run_end));
}

PollSet WantedPolls(const RunLoop& loop, Deadline now) {
  PollSet set = NewPollSet(loop.run_end);
  WantPoll(set, LookupDescriptor(loop.lookups), POLLIN);
  if (!loop.discovery_over) {
    WantPoll(set, BrowseDescriptor(loop.browse), BrowseEvents(loop.browse));
    WakeBy(set, BrowseWakeTime(loop.browse));
    UnicastBrowsePolls(loop.unicast, set, now);
    WsdPolls(loop.wsd, set, now);
  }
  for (const RunServer& server : loop.registry.servers) {
    if (server.stage == kServerAsking) AskingPolls(server.asking, set, now);
  }
  // Whatever is ready to move on without the network moves on now: the
  // servers whose turn has come, the servers known once queues and
  // discovery are in, discovery that has come to its end.
  const bool discovery_ends = !loop.discovery_over && IsDiscoveryOver(loop, now);
  const bool servers_due =
      !loop.servers_known && loop.queues_in && loop.discovery_over;
  if (discovery_ends || servers_due || IsTurnDue(loop.registry, loop.pool)) {
    WakeBy(set, now);
  }
  return set;
}

void ContinueRunLoop(RunLoop& loop, const PollSet& set, RunHandoff& handoff,
                     Deadline now) {
  if (now >= loop.run_end) return;
  TakeLookupAnswers(loop, now);
  ContinueDiscovery(loop, set, handoff, now);
  ContinueAskings(loop, set, now);
  FinishAskingsOver(loop, handoff, now);
  HandOverKnownServers(loop, handoff, now);
  StartServersInTurn(loop, handoff, now);
  GiveUpLargestAnswers(loop.pool, loop.registry);
  FinishAskingsOver(loop, handoff, now);
  AskWantedLookups(loop);
}

bool IsRunLoopOver(const RunLoop& loop, Deadline now) {
  if (now >= loop.run_end) return true;
  return loop.queues_in && loop.discovery_over && loop.servers_known &&
         loop.registry.at_stage[kServerGiven] == loop.registry.servers.size();
}

void EndRunLoop(RunLoop& loop, RunHandoff& handoff) {
  // No lookup is started after the run: the threads end with those under
  // way.
  DropAddressQuestions(loop.lookups);
  if (!loop.discovery_over) EndDiscovery(loop, handoff);
  if (loop.registry.servers.front().stage != kServerGiven) {
    GiveOwnServer(loop, handoff);
  }
  if (!loop.servers_known) {
    loop.servers_known = true;
    GiveKnownServers(handoff, RunServers(loop));
  }
  for (std::size_t index = 0; index < loop.registry.servers.size(); ++index) {
    if (loop.registry.servers[index].stage != kServerGiven) {
      GiveServer(loop, handoff, index);
    }
  }
  EndHandoff(handoff);
}
