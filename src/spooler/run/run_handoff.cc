// The handoff's lock, its condition, and the waits on it.
#include "spooler/run/run_handoff.h"

#include "spooler/ascii_case.h"

namespace {

// Runs give under the lock, then wakes every wait.
template <typename Give>
void UnderLock(RunHandoff& handoff, Give give) {
  {
    std::lock_guard<std::mutex> held(handoff.lock.mutex);
    give();
  }
  handoff.lock.changed.notify_all();
}

// Waits until ready() says so or the loop is over, give_up at the latest;
// true when ready() says so.
template <typename Ready>
bool WaitUntil(RunHandoff& handoff, std::unique_lock<std::mutex>& held,
               Ready ready) {
  handoff.lock.changed.wait_until(held, handoff.give_up,
                             [&] { return ready() || handoff.over; });
  return ready();
}

// A part of what the run hands over, once it is; none should it not be.
template <typename Part>
const Part& WaitForPart(RunHandoff& handoff, const bool& given,
                        const Part& part, const Part& none) {
  std::unique_lock<std::mutex> held(handoff.lock.mutex);
  return WaitUntil(handoff, held, [&] { return given; }) ? part : none;
}

}  // namespace

void GiveQueueView(RunHandoff& handoff, std::optional<PrinterList> view) {
  UnderLock(handoff, [&] {
    if (handoff.view_given) return;
    handoff.view = std::move(view);
    handoff.view_given = true;
  });
}

void GiveDiscovery(RunHandoff& handoff, Discovery discovery) {
  UnderLock(handoff, [&] {
    if (handoff.discovery_given) return;
    handoff.discovery = std::move(discovery);
    handoff.discovery_given = true;
  });
}

void GiveKnownServers(RunHandoff& handoff, std::vector<KnownServer> servers) {
  std::map<std::wstring, bool> keys;
  for (const KnownServer& server : servers) {
    keys.emplace(AsciiLower(server.name), !server.uris.empty());
  }
  UnderLock(handoff, [&] {
    if (handoff.servers_given) return;
    handoff.servers = std::move(servers);
    handoff.server_keys = std::move(keys);
    handoff.servers_given = true;
  });
}

void GiveServerPrinters(RunHandoff& handoff, const std::wstring& name,
                        PrinterList printers) {
  auto kept = std::make_unique<PrinterList>(std::move(printers));
  UnderLock(handoff, [&] {
    handoff.answers.emplace(AsciiLower(name), std::move(kept));
  });
}

void EndHandoff(RunHandoff& handoff) {
  UnderLock(handoff, [&] { handoff.over = true; });
}

void FailHandoff(RunHandoff& handoff, const RunFailure& failure) {
  UnderLock(handoff, [&] {
    handoff.failure = failure;
    handoff.over = true;
  });
}

std::optional<RunFailure> RunFailureOf(RunHandoff& handoff) {
  std::lock_guard<std::mutex> held(handoff.lock.mutex);
  return handoff.failure;
}

bool IsRunStopping(RunHandoff& handoff) {
  std::lock_guard<std::mutex> held(handoff.lock.mutex);
  return handoff.stopping;
}

void StopRun(RunHandoff& handoff) {
  UnderLock(handoff, [&] { handoff.stopping = true; });
}

const std::optional<PrinterList>& WaitForQueueView(RunHandoff& handoff) {
  static const std::optional<PrinterList> none;
  return WaitForPart(handoff, handoff.view_given, handoff.view, none);
}

const Discovery& WaitForDiscovery(RunHandoff& handoff) {
  static const Discovery none;
  return WaitForPart(handoff, handoff.discovery_given, handoff.discovery, none);
}

const std::vector<KnownServer>& WaitForKnownServers(RunHandoff& handoff) {
  static const std::vector<KnownServer> none;
  return WaitForPart(handoff, handoff.servers_given, handoff.servers, none);
}

const PrinterList* WaitForServerPrinters(RunHandoff& handoff,
                                         const std::wstring& name) {
  WaitForKnownServers(handoff);
  const std::wstring key = AsciiLower(name);
  std::unique_lock<std::mutex> held(handoff.lock.mutex);
  const auto known = handoff.server_keys.find(key);
  // The machine's own server has no URIs: the queue view answers for it.
  if (known == handoff.server_keys.end() || !known->second) return nullptr;
  static const PrinterList none;
  if (!WaitUntil(handoff, held, [&] { return handoff.answers.count(key) != 0; })) {
    return &none;
  }
  return handoff.answers.find(key)->second.get();
}
