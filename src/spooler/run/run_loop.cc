// The loop's phases.
#include "spooler/run/run_loop.h"

#include <algorithm>

#include "spooler/ipp/ipp_printers.h"
#include "spooler/run_limits.h"

namespace {

// The services discovery browses for: IPP printers and the queues print
// servers share, over IPP and IPPS; printers that take LPD or a raw socket;
// SMB servers.
const char* const kBrowsedTypes[] = {"_ipp._tcp", "_ipps._tcp", "_printer._tcp",
                                     "_pdl-datastream._tcp", "_smb._tcp"};

// The CUPS server is the registry's first.
const std::size_t kCupsServer = 0;

void AskLookupIfWanted(RunLoop& loop, std::size_t index) {
  ServerAsking& asking = loop.registry.servers[index].asking;
  if (!asking.wants_addresses || asking.lookup_asked) return;
  asking.lookup_asked = true;
  AskAddresses(loop.lookups, index, asking.waiting.host, asking.waiting.port);
}

void GiveServer(RunLoop& loop, RunHandoff& handoff, std::size_t index) {
  RunServer& server = loop.registry.servers[index];
  server.stage = kServerGiven;
  GiveServerPrinters(handoff, server.asking.server.name,
                     TakePrinters(server.asking));
}

void EnsureAsked(RunLoop& loop, const std::wstring& name, const std::string& uri,
                 Deadline now);

// A server whose asking is over: what it held goes back to the pool, and
// its answer to the report once no URI can come for it any more. The CUPS
// server's is the queue view, and the servers its queues print to are
// asked at once.
void FinishServer(RunLoop& loop, RunHandoff& handoff, std::size_t index,
                  Deadline now) {
  RunServer& server = loop.registry.servers[index];
  ReleaseServer(loop.pool, server);
  if (index != kCupsServer) {
    if (loop.servers_known) {
      GiveServer(loop, handoff, index);
    } else {
      loop.to_give.push_back(index);
    }
    return;
  }
  loop.queues_in = true;
  server.stage = kServerGiven;
  std::optional<PrinterList> view;
  if (server.asking.ipp_answered) view = TakePrinters(server.asking);
  if (view) loop.device_uris = ServerDeviceUris(*view);
  GiveQueueView(handoff, std::move(view));
  for (const std::string& uri : loop.device_uris) {
    if (std::optional<KnownServer> named = ServerOfDeviceUri(uri)) {
      EnsureAsked(loop, named->name, named->uris.front(), now);
    }
  }
}

// The server of that name is asked (by uri too): a new one waits its turn;
// one under way or over takes the URI, and asks again when it calls for it.
void EnsureAsked(RunLoop& loop, const std::wstring& name, const std::string& uri,
                 Deadline now) {
  const RegisteredServer registered = RegisterServer(loop.registry, name);
  RunServer& server = loop.registry.servers[registered.index];
  if (registered.added) {
    server.asking.user = loop.settings.user;
    server.asking.smb_starter = loop.settings.smb_starter;
    WaitTurn(loop.pool, registered.index);
  }
  if (server.stage == kServerWaiting || server.stage == kServerGiven) {
    std::vector<std::string>& uris = server.asking.server.uris;
    if (std::find(uris.begin(), uris.end(), uri) == uris.end()) uris.push_back(uri);
    return;
  }
  AddAskingUri(server.asking, uri, loop.run_end, now);
  if (server.stage == kServerOver && !IsAskingOver(server.asking)) {
    // Over before the URI came, and asked again for it.
    server.stage = kServerAsking;
    loop.asking.push_back(registered.index);
    loop.to_give.erase(
        std::remove(loop.to_give.begin(), loop.to_give.end(), registered.index),
        loop.to_give.end());
  }
  TakeMoreDescriptors(loop.pool, server);
  AskLookupIfWanted(loop, registered.index);
}

// The servers in the asking list whose asking is over are finished, and
// leave the list. Finishing may make others known, not over.
void SettleServers(RunLoop& loop, RunHandoff& handoff, Deadline now) {
  std::vector<std::size_t> over;
  std::vector<std::size_t> still;
  for (std::size_t index : loop.asking) {
    (IsAskingOver(loop.registry.servers[index].asking) ? over : still)
        .push_back(index);
  }
  loop.asking = std::move(still);
  for (std::size_t index : over) FinishServer(loop, handoff, index, now);
}

void TakeLookups(RunLoop& loop, Deadline now) {
  for (AddressAnswer& answer : TakeAddressAnswers(loop.lookups)) {
    if (answer.asker >= loop.registry.servers.size()) continue;
    GiveAddresses(loop.registry.servers[answer.asker].asking,
                  std::move(answer.addresses), now);
  }
}

void ContinueDiscovery(RunLoop& loop, RunHandoff& handoff, Deadline now) {
  if (loop.browse_over) return;
  std::vector<DnssdService> newly;
  ContinueBrowse(loop.browse, newly, now);
  // A server a service names is asked as soon as it is resolved.
  for (const DnssdService& service : newly) {
    if (std::optional<KnownServer> named = ServerOfService(service)) {
      EnsureAsked(loop, named->name, named->uris.front(), now);
    }
  }
  if (!IsBrowseOver(loop.browse, now)) return;
  loop.browse_over = true;
  loop.discovered = EndBrowse(loop.browse);
  GiveDiscovery(handoff, loop.discovered);
}

void ContinueServers(RunLoop& loop, const PollSet& set, Deadline now) {
  for (std::size_t index : loop.asking) {
    RunServer& server = loop.registry.servers[index];
    ContinueAsking(server.asking, set, now, AnswerRoom(loop.pool, server));
    CountHeldBytes(loop.pool, server);
    AskLookupIfWanted(loop, index);
  }
}

// Once the queues and discovery are in: the run's servers, in their order,
// each asked by every URI it is known by; the answers of those already over
// go to the report.
void KnowServers(RunLoop& loop, RunHandoff& handoff, Deadline now) {
  if (loop.servers_known || !loop.queues_in || !loop.browse_over) return;
  const bool own = loop.registry.servers[kCupsServer].asking.ipp_answered;
  std::vector<KnownServer> servers =
      ServersOf(own ? loop.settings.own_name : std::wstring(), loop.device_uris,
                loop.discovered);
  for (const KnownServer& server : servers) {
    for (const std::string& uri : server.uris) {
      EnsureAsked(loop, server.name, uri, now);
    }
  }
  loop.servers_known = true;
  GiveKnownServers(handoff, std::move(servers));
  for (std::size_t index : loop.to_give) {
    if (loop.registry.servers[index].stage == kServerOver) {
      GiveServer(loop, handoff, index);
    }
  }
  loop.to_give.clear();
}

// The servers whose turn has come are started; one that is over at once (no
// connection could even begin) is finished, which gives its room to the
// next. Each server is admitted once, so this ends.
void StartServersInTurn(RunLoop& loop, RunHandoff& handoff, Deadline now) {
  for (;;) {
    const std::vector<std::size_t> admitted =
        AdmitServers(loop.pool, loop.registry);
    if (admitted.empty()) return;
    for (std::size_t index : admitted) {
      StartAsking(loop.registry.servers[index].asking, loop.run_end, now);
      AskLookupIfWanted(loop, index);
      loop.asking.push_back(index);
    }
    SettleServers(loop, handoff, now);
  }
}

bool AreAllGiven(const RunLoop& loop) {
  for (const RunServer& server : loop.registry.servers) {
    if (server.stage != kServerGiven) return false;
  }
  return true;
}

}  // namespace

void StartRunLoop(RunLoop& loop, RunSettings settings, Deadline started) {
  loop.settings = std::move(settings);
  loop.run_end = started + kRunBound;
  loop.lookups = StartAddressLookups();
  loop.pool = NewAskingPool(loop.settings.budget);
  const RegisteredServer cups =
      RegisterServer(loop.registry, loop.settings.own_name);
  RunServer& server = loop.registry.servers[cups.index];
  server.asking.cups = loop.settings.cups;
  server.asking.user = loop.settings.user;
  server.asking.smb_starter = loop.settings.smb_starter;
  WaitTurn(loop.pool, cups.index);
  StartBrowse(loop.browse, loop.settings.bus_address,
              std::vector<std::string>(std::begin(kBrowsedTypes),
                                       std::end(kBrowsedTypes)),
              std::min(started + kDiscoveryBound, loop.run_end));
}

PollSet WantedPolls(const RunLoop& loop, Deadline now) {
  PollSet set = NewPollSet(loop.run_end);
  WantPoll(set, LookupDescriptor(loop.lookups), POLLIN);
  if (!loop.browse_over) {
    WantPoll(set, BrowseDescriptor(loop.browse), BrowseEvents(loop.browse));
    WakeBy(set, BrowseWakeTime(loop.browse));
  }
  for (std::size_t index : loop.asking) {
    AskingPolls(loop.registry.servers[index].asking, set, now);
  }
  // Whatever is ready to move on without the network moves on now: the
  // servers waiting for their turn, the servers known once queues and
  // discovery are in, a browse that has come to its end.
  const bool browse_ends = !loop.browse_over && IsBrowseOver(loop.browse, now);
  const bool servers_due =
      !loop.servers_known && loop.queues_in && loop.browse_over;
  if (browse_ends || servers_due || IsTurnDue(loop.pool, loop.registry)) {
    WakeBy(set, now);
  }
  return set;
}

void ContinueRunLoop(RunLoop& loop, const PollSet& set, RunHandoff& handoff,
                     Deadline now) {
  TakeLookups(loop, now);
  ContinueDiscovery(loop, handoff, now);
  ContinueServers(loop, set, now);
  SettleServers(loop, handoff, now);
  KnowServers(loop, handoff, now);
  StartServersInTurn(loop, handoff, now);
  GiveUpLargestAnswers(loop.pool, loop.registry, loop.asking);
  SettleServers(loop, handoff, now);
}

bool IsRunLoopOver(const RunLoop& loop, Deadline now) {
  if (now >= loop.run_end) return true;
  return loop.queues_in && loop.browse_over && loop.servers_known &&
         loop.asking.empty() && loop.pool.turns.empty() && AreAllGiven(loop);
}

void EndRunLoop(RunLoop& loop, RunHandoff& handoff) {
  // No lookup is started after the run: the threads end with those under
  // way.
  DropAddressQuestions(loop.lookups);
  if (!loop.browse_over) {
    loop.browse_over = true;
    loop.discovered = EndBrowse(loop.browse);
    GiveDiscovery(handoff, loop.discovered);
  }
  RunServer& cups = loop.registry.servers[kCupsServer];
  if (cups.stage != kServerGiven) {
    cups.stage = kServerGiven;
    std::optional<PrinterList> view;
    PrinterList printers = TakePrinters(cups.asking);
    if (cups.asking.ipp_answered) view = std::move(printers);
    GiveQueueView(handoff, std::move(view));
  }
  if (!loop.servers_known) {
    loop.servers_known = true;
    GiveKnownServers(handoff, ServersOf(cups.asking.ipp_answered
                                            ? loop.settings.own_name
                                            : std::wstring(),
                                        loop.device_uris, loop.discovered));
  }
  for (std::size_t index = 0; index < loop.registry.servers.size(); ++index) {
    if (loop.registry.servers[index].stage != kServerGiven) {
      GiveServer(loop, handoff, index);
    }
  }
  loop.asking.clear();
  loop.pool.turns.clear();
  EndHandoff(handoff);
}
