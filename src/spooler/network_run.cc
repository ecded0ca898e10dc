// The run's thread and its one loop. The loop polls, at once, the CUPS
// server's exchange, the bus connection of discovery, every server's
// connection and SMB listing, and the name lookups; each answer is used as
// it comes. A server becomes known (and is asked) as soon as the queues or
// discovery name it; each has its own bound, counted from its own start, so
// one that does not answer costs its own bound and never another's turn.
// What the loop finds is handed to the report's thread under a lock, once,
// and never changed after.
#include "spooler/network_run.h"

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "spooler/ascii_case.h"
#include "spooler/cups/cups_server.h"
#include "spooler/cups/queue_view.h"
#include "spooler/ipp/address_lookup.h"
#include "spooler/ipp/http_exchange.h"
#include "spooler/ipp/ipp_printers.h"
#include "spooler/poll_set.h"
#include "spooler/remote/server_asking.h"
#include "spooler/remote/server_names.h"

namespace {

// About a second for the network to answer (Avahi says it has all it has
// for now after one), and half a second more to resolve what it named.
const std::chrono::milliseconds kDiscoveryBound(1500);

// Nothing of the run goes on past this, counted from its start: with
// servers that do not answer waiting for descriptors the process could not
// give them at once, the report still ends in bounded time.
const std::chrono::seconds kRunBound(12);

// How long past kRunBound the report's thread waits for the run before it
// goes on without it: only a fault of the loop's own would need it.
const std::chrono::seconds kRunGrace(2);

// Descriptors kept back from the servers' connections: the process's own,
// the bus, the lookups, the CUPS server's exchange.
const rlim_t kKeptDescriptors = 64;

// The answers being read from the servers, all together, hold at most this
// much (each holds kMostAnswerBytes at most): should many hostile servers
// all send that much at once, the one that holds most is given up.
const std::size_t kMostRunAnswerBytes = 256u << 20;

// The lookup asker that is the CUPS server's exchange, not a server's.
const std::size_t kViewAsker = static_cast<std::size_t>(-1);

// What the run needs from the CUPS client configuration, read on the
// report's thread before the loop starts.
struct RunSettings {
  std::string cups_host;
  int cups_port;
  std::string user;
  std::wstring own_name;
  bool cups_encrypted;  // asked over TLS from the first byte
  bool cups_upgrade;    // asked again over TLS when it asks for it
};

// What the run hands to the report's thread, under lock; each part once.
struct NetworkRun {
  std::mutex lock;
  std::condition_variable changed;
  Deadline started;
  bool view_given = false;
  std::optional<PrinterList> view;
  bool discovery_given = false;
  std::vector<DnssdService> discovery;
  bool servers_given = false;
  std::vector<KnownServer> servers;
  // The servers' printers, by AsciiLower name.
  std::map<std::wstring, std::unique_ptr<PrinterList>> answers;
  bool over = false;             // the loop has ended
  std::atomic<bool> stopping{false};
  int wake = -1;                 // written to end the loop early
  SmbStarter smb_starter;        // forked before the loop's thread starts
  std::thread loop;
};

// The loop's own state, which only the loop's thread touches.
struct RunLoop {
  RunSettings settings;
  SmbStarter smb_starter;
  Deadline run_end;
  SharedLookups lookups;
  HttpExchange view;
  HttpRequest view_request;
  bool view_waits = false;       // for the CUPS server's addresses
  bool view_over = false;
  std::vector<std::string> device_uris;
  DnssdBrowse browse;
  bool browse_over = false;
  std::vector<DnssdService> discovered;
  bool servers_known = false;
  std::deque<ServerAsking> askings;
  std::map<std::wstring, std::size_t> by_name;  // by AsciiLower name
  std::deque<std::size_t> queued;               // waiting for descriptors
  std::vector<bool> released;                   // its descriptors back
  std::vector<bool> given;                      // its answer handed over
  std::size_t descriptors_left = 0;
};

// As many descriptors as the process may have: the soft limit raised to
// the hard one. Returns how many the servers may hold at once.
std::size_t DescriptorBudget() {
  rlimit limit = {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 256;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return 1u << 20;
  return limit.rlim_cur > 2 * kKeptDescriptors
             ? static_cast<std::size_t>(limit.rlim_cur - kKeptDescriptors)
             : static_cast<std::size_t>(limit.rlim_cur / 2);
}

void Notify(NetworkRun& run) { run.changed.notify_all(); }

void AskLookupWhenWanted(RunLoop& loop, std::size_t i) {
  ServerAsking& asking = loop.askings[i];
  if (!asking.wants_addresses || asking.lookup_sent) return;
  asking.lookup_sent = true;
  AskAddresses(loop.lookups, i, asking.waiting.host, asking.waiting.port);
}

void Start(RunLoop& loop, std::size_t i) {
  loop.descriptors_left -= std::min(loop.descriptors_left,
                                    AskingDescriptors(loop.askings[i]));
  StartAsking(loop.askings[i], loop.run_end);
  AskLookupWhenWanted(loop, i);
}

// The server of that name is asked (by uri too): a new one is started at
// once, or queued while the descriptors are all taken.
void EnsureAsked(RunLoop& loop, const std::wstring& name,
                 const std::string& uri) {
  const std::wstring key = AsciiLower(name);
  const auto known = loop.by_name.find(key);
  if (known != loop.by_name.end()) {
    AddAskingUri(loop.askings[known->second], uri, loop.run_end);
    AskLookupWhenWanted(loop, known->second);
    return;
  }
  const std::size_t i = loop.askings.size();
  ServerAsking asking;
  asking.server = {name, {uri}};
  asking.user = loop.settings.user;
  asking.smb_starter = loop.smb_starter;
  loop.askings.push_back(std::move(asking));
  loop.by_name.emplace(key, i);
  loop.released.push_back(false);
  loop.given.push_back(false);
  if (loop.queued.empty() &&
      loop.descriptors_left >= AskingDescriptors(loop.askings[i])) {
    Start(loop, i);
  } else {
    loop.queued.push_back(i);
  }
}

void StartView(RunLoop& loop, Deadline started) {
  loop.view_request = {loop.settings.cups_host, loop.settings.cups_port, "/",
                       QueueViewRequest(loop.settings.user), true,
                       loop.settings.cups_encrypted, loop.settings.cups_upgrade};
  const Deadline deadline = started + kServerBound;
  loop.view.deadline = deadline;
  if (std::optional<std::vector<SocketAddress>> numeric = NumericAddresses(
          loop.settings.cups_host, loop.settings.cups_port)) {
    loop.view.addresses = std::move(*numeric);
    BeginHttp(loop.view, loop.view_request, deadline);
    return;
  }
  loop.view_waits = true;
  AskAddresses(loop.lookups, kViewAsker, loop.settings.cups_host,
               loop.settings.cups_port);
}

void TakeLookups(RunLoop& loop) {
  for (AddressAnswer& answer : TakeAddressAnswers(loop.lookups)) {
    if (answer.asker == kViewAsker) {
      if (!loop.view_waits) continue;
      loop.view_waits = false;
      loop.view.addresses = std::move(answer.addresses);
      BeginHttp(loop.view, loop.view_request, loop.view.deadline);
    } else if (answer.asker < loop.askings.size()) {
      GiveAddresses(loop.askings[answer.asker], std::move(answer.addresses));
    }
  }
}

void ContinueView(NetworkRun& run, RunLoop& loop, const PollSet& set) {
  if (loop.view_over) return;
  const short ready = ReadyEvents(set, loop.view.fd);
  if (loop.view_waits) {
    if (Now() < loop.view.deadline) return;
    loop.view_waits = false;
    loop.view.stage = kHttpBroken;
  }
  ContinueHttp(loop.view, ready);
  if (!IsHttpOver(loop.view)) return;
  loop.view_over = true;
  std::optional<PrinterList> view;
  if (const std::optional<std::string> answer = IppAnswerOf(loop.view)) {
    view = PrintersInAnswer(*answer);
  }
  CloseHttp(loop.view);
  if (view) loop.device_uris = ServerDeviceUris(*view);
  {
    std::lock_guard<std::mutex> held(run.lock);
    run.view = std::move(view);
    run.view_given = true;
  }
  Notify(run);
  // The servers the queues print to are asked at once.
  for (const std::string& uri : loop.device_uris) {
    if (std::optional<KnownServer> server = ServerOfDeviceUri(uri)) {
      EnsureAsked(loop, server->name, server->uris.front());
    }
  }
}

void ContinueDiscovery(NetworkRun& run, RunLoop& loop) {
  if (loop.browse_over) return;
  std::vector<DnssdService> newly;
  ContinueBrowse(loop.browse, newly);
  // A server a service names is asked as soon as it is resolved.
  for (const DnssdService& service : newly) {
    if (std::optional<KnownServer> server = ServerOfService(service)) {
      EnsureAsked(loop, server->name, server->uris.front());
    }
  }
  if (!IsBrowseOver(loop.browse)) return;
  loop.browse_over = true;
  loop.discovered = EndBrowse(loop.browse);
  {
    std::lock_guard<std::mutex> held(run.lock);
    run.discovery = loop.discovered;
    run.discovery_given = true;
  }
  Notify(run);
}

// Once the queues and discovery are in: the run's servers, in their order,
// each asked by every URI they are known by.
void KnowServers(NetworkRun& run, RunLoop& loop) {
  if (loop.servers_known || !loop.view_over || !loop.browse_over) return;
  loop.servers_known = true;
  bool own = false;
  {
    std::lock_guard<std::mutex> held(run.lock);
    own = run.view.has_value();
  }
  std::vector<KnownServer> servers =
      ServersOf(own ? loop.settings.own_name : std::wstring(), loop.device_uris,
                loop.discovered);
  for (const KnownServer& server : servers) {
    for (const std::string& uri : server.uris) {
      EnsureAsked(loop, server.name, uri);
    }
  }
  {
    std::lock_guard<std::mutex> held(run.lock);
    run.servers = std::move(servers);
    run.servers_given = true;
  }
  Notify(run);
}

void Give(NetworkRun& run, RunLoop& loop, std::size_t i) {
  loop.given[i] = true;
  auto printers = std::make_unique<PrinterList>(TakePrinters(loop.askings[i]));
  {
    std::lock_guard<std::mutex> held(run.lock);
    run.answers.emplace(AsciiLower(loop.askings[i].server.name),
                        std::move(printers));
  }
  Notify(run);
}

void ContinueServers(NetworkRun& run, RunLoop& loop, const PollSet& set) {
  for (std::size_t i = 0; i < loop.askings.size(); ++i) {
    ServerAsking& asking = loop.askings[i];
    ContinueAsking(asking, set);
    AskLookupWhenWanted(loop, i);
    if (asking.started && IsAskingOver(asking) && !loop.released[i]) {
      loop.released[i] = true;
      loop.descriptors_left += AskingDescriptors(asking);
    }
  }
  while (!loop.queued.empty() &&
         loop.descriptors_left >=
             AskingDescriptors(loop.askings[loop.queued.front()])) {
    const std::size_t i = loop.queued.front();
    loop.queued.pop_front();
    Start(loop, i);
  }
  // An answer is handed over only once no URI can come for it any more.
  if (!loop.servers_known) return;
  for (std::size_t i = 0; i < loop.askings.size(); ++i) {
    if (!loop.given[i] && loop.askings[i].started &&
        IsAskingOver(loop.askings[i])) {
      Give(run, loop, i);
    }
  }
}

// Whether a part is over and the loop has not yet taken what it found: the
// loop then moves on without waiting.
bool HasNewsWaiting(const RunLoop& loop) {
  if (!loop.view_over && !loop.view_waits && IsHttpOver(loop.view)) return true;
  if (!loop.browse_over && IsBrowseOver(loop.browse)) return true;
  if (loop.view_over && loop.browse_over && !loop.servers_known) return true;
  for (std::size_t i = 0; i < loop.askings.size(); ++i) {
    const ServerAsking& asking = loop.askings[i];
    if (asking.started && IsAskingOver(asking) &&
        (!loop.released[i] || (loop.servers_known && !loop.given[i]))) {
      return true;
    }
  }
  return false;
}

void BoundAnswerBytes(RunLoop& loop) {
  for (;;) {
    std::size_t total = 0;
    HttpExchange* largest = nullptr;
    for (ServerAsking& asking : loop.askings) {
      const std::size_t bytes = HttpAnswerBytes(asking.http);
      total += bytes;
      if (bytes > 0 && (largest == nullptr || bytes > HttpAnswerBytes(*largest))) {
        largest = &asking.http;
      }
    }
    if (total <= kMostRunAnswerBytes || largest == nullptr) return;
    AbandonHttp(*largest);
    largest->answer = HttpAnswer();
  }
}

bool IsLoopOver(const RunLoop& loop) {
  if (!loop.view_over || !loop.browse_over || !loop.servers_known) return false;
  for (bool given : loop.given) {
    if (!given) return false;
  }
  return true;
}

void Loop(NetworkRun* run, RunSettings settings) {
  RunLoop loop;
  loop.settings = std::move(settings);
  loop.smb_starter = run->smb_starter;
  loop.run_end = run->started + kRunBound;
  loop.descriptors_left = DescriptorBudget();
  loop.lookups = StartAddressLookups();
  StartBrowse(loop.browse, {"_ipp._tcp", "_ipps._tcp", "_smb._tcp"},
              run->started + kDiscoveryBound);
  StartView(loop, run->started);

  while (!IsLoopOver(loop) && !run->stopping) {
    PollSet set = NewPollSet(loop.run_end);
    WantPoll(set, run->wake, POLLIN);
    WantPoll(set, LookupDescriptor(loop.lookups), POLLIN);
    if (!loop.view_over) {
      WantPoll(set, loop.view.fd, HttpEvents(loop.view));
      WakeBy(set, loop.view_waits ? loop.view.deadline : HttpWakeTime(loop.view));
    }
    if (!loop.browse_over) {
      WantPoll(set, BrowseDescriptor(loop.browse), BrowseEvents(loop.browse));
      WakeBy(set, BrowseWakeTime(loop.browse));
    }
    for (const ServerAsking& asking : loop.askings) AskingPolls(asking, set);
    if (HasNewsWaiting(loop)) WakeBy(set, Now());
    WaitForPolls(set);
    if (run->stopping) break;

    TakeLookups(loop);
    ContinueView(*run, loop, set);
    ContinueDiscovery(*run, loop);
    KnowServers(*run, loop);
    ContinueServers(*run, loop, set);
    BoundAnswerBytes(loop);
    if (Now() >= loop.run_end) break;
  }

  // Whatever is still under way ends here, and is handed over as it stands.
  CloseHttp(loop.view);
  EndBrowse(loop.browse);
  for (std::size_t i = 0; i < loop.askings.size(); ++i) {
    if (!loop.given[i]) Give(*run, loop, i);
  }
  {
    std::lock_guard<std::mutex> held(run->lock);
    run->over = true;
  }
  Notify(*run);
}

NetworkRun* StartRun() {
  auto run = std::make_unique<NetworkRun>();
  run->started = Now();
  run->wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  RunSettings settings = {CupsServerHost(), CupsServerPort(), CupsUser(),
                          CupsServerName(), IsCupsServerEncrypted(),
                          MayUpgradeCupsServer()};
#ifdef QUELVARO_HAVE_SMB
  // While the program has this one thread.
  run->smb_starter = StartSmbStarter();
#endif
  try {
    run->loop = std::thread(&Loop, run.get(), std::move(settings));
  } catch (const std::system_error&) {
    // No thread: the run has nothing to give, and says so at once.
    run->over = true;
  }
  return run.release();
}

// Ends the loop (at once: what is still under way gives nothing more) and
// waits for its thread.
void EndRun(NetworkRun* run) {
  run->stopping = true;
  const std::uint64_t one = 1;
  if (run->wake >= 0 && write(run->wake, &one, sizeof one) < 0) {
    // The loop sees stopping at its next wake, by its bound.
  }
  const std::unique_ptr<NetworkRun> owned(run);
  if (run->loop.joinable()) run->loop.join();
  if (run->wake >= 0) close(run->wake);
#ifdef QUELVARO_HAVE_SMB
  EndSmbStarter(run->smb_starter);
#endif
}

// The run: started by the first call that needs it, ended with the process.
NetworkRun& Run() {
  static const std::unique_ptr<NetworkRun, void (*)(NetworkRun*)> run(
      StartRun(), &EndRun);
  return *run;
}

// Waits until ready() says so, the loop is over, or (should the loop never
// get there) the run's bound and grace have passed; true unless that.
template <typename Ready>
bool WaitFor(NetworkRun& run, std::unique_lock<std::mutex>& held, Ready ready) {
  return run.changed.wait_until(held, run.started + kRunBound + kRunGrace,
                                [&] { return ready() || run.over; });
}

// A part of what the run gives, once the run has given it; none should the
// run not get there.
template <typename Part>
const Part& Given(bool NetworkRun::*given, Part NetworkRun::*part,
                  const Part& none) {
  NetworkRun& run = Run();
  std::unique_lock<std::mutex> held(run.lock);
  if (!WaitFor(run, held, [&] { return run.*given; }) || !(run.*given)) {
    return none;
  }
  return run.*part;
}

}  // namespace

const std::optional<PrinterList>& RunQueueView() {
  static const std::optional<PrinterList> none;
  return Given(&NetworkRun::view_given, &NetworkRun::view, none);
}

const std::vector<DnssdService>& RunDiscovery() {
  static const std::vector<DnssdService> none;
  return Given(&NetworkRun::discovery_given, &NetworkRun::discovery, none);
}

const std::vector<KnownServer>& RunKnownServers() {
  static const std::vector<KnownServer> none;
  return Given(&NetworkRun::servers_given, &NetworkRun::servers, none);
}

const PrinterList* RunServerPrinters(const std::wstring& name) {
  const std::vector<KnownServer>& servers = RunKnownServers();
  const KnownServer* found = nullptr;
  for (const KnownServer& server : servers) {
    if (IsSameServerName(name.c_str(), server.name)) {
      found = &server;
      break;
    }
  }
  if (found == nullptr || found->uris.empty()) return nullptr;
  static const PrinterList none;
  const std::wstring key = AsciiLower(found->name);
  NetworkRun& run = Run();
  std::unique_lock<std::mutex> held(run.lock);
  WaitFor(run, held, [&] { return run.answers.count(key) != 0; });
  const auto answer = run.answers.find(key);
  return answer == run.answers.end() ? &none : answer->second.get();
}
