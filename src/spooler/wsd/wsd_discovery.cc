// WS-Discovery on the run's loop: the Probes go out at the start, every
// answer is read as it comes, and each print device it names is asked for
// its metadata as soon as its turn comes, while the Probes' answers are
// still coming in.
#include "spooler/wsd/wsd_discovery.h"

#include <algorithm>

#include "spooler/run_limits.h"
#include "spooler/wsd/expat_library.h"
#include "spooler/wsd/wsd_message.h"
#include "spooler/wsd/wsd_requests.h"

namespace {

const WsdVersion kVersions[] = {kWsd2005, kWsd2009};

// The largest datagram UDP carries.
const std::size_t kMostDatagramBytes = 65535;

// Whether the devices' records can keep bytes more; if so, they are
// counted as kept.
bool Keep(WsdDiscovery& discovery, std::size_t bytes) {
  if (bytes > kMostWsdRecordBytes - discovery.record_bytes) return false;
  discovery.record_bytes += bytes;
  return true;
}

// Sends the message now, and once more after kWsdRepeatDelay.
void SendTwice(WsdDiscovery& discovery, std::string message, Deadline now) {
  SendToDestinations(discovery.sockets, message);
  discovery.repeats.push_back({now + kWsdRepeatDelay, std::move(message)});
}

void SendRepeats(WsdDiscovery& discovery, Deadline now) {
  std::vector<WsdRepeat> later;
  for (WsdRepeat& repeat : discovery.repeats) {
    if (now >= repeat.when) {
      SendToDestinations(discovery.sockets, repeat.message);
    } else {
      later.push_back(std::move(repeat));
    }
  }
  discovery.repeats = std::move(later);
}

// The endpoint's metadata asked for at the first usable of its transport
// addresses; with none, all that will be known of it is.
void AskMetadata(WsdDiscovery& discovery, std::size_t index,
                 const std::vector<std::string>& xaddrs) {
  WsdEndpoint& endpoint = discovery.endpoints[index];
  std::optional<WsdTarget> target = FirstUsableXAddr(xaddrs, endpoint.scope);
  const std::string shown = ShownXAddr(target, xaddrs);
  if (Keep(discovery, shown.size())) endpoint.device.xaddr = shown;
  if (!target) return;
  QueueMetadata(discovery.metadata, index, std::move(*target),
                GetMessage(endpoint.version, NewMessageId(), endpoint.device.address));
}

void Resolve(WsdDiscovery& discovery, std::size_t index, Deadline now) {
  WsdEndpoint& endpoint = discovery.endpoints[index];
  const std::string id = NewMessageId();
  endpoint.resolve_end = std::min(now + kServerBound, discovery.run_end);
  discovery.resolve_ids[id] = index;
  SendTwice(discovery,
            ResolveMessage(endpoint.version, id, endpoint.device.address), now);
}

// A print device an answer to a Probe names: taken once by its address,
// then resolved, or asked for its metadata.
void TakeMatch(WsdDiscovery& discovery, const WsdMatch& match, WsdVersion version,
               std::uint32_t scope, Deadline now) {
  // The address is kept twice: in the record and as its key.
  if (!match.print_device || match.address.empty() ||
      discovery.by_address.count(match.address) != 0 ||
      discovery.endpoints.size() >= kMostWsdEndpoints ||
      !Keep(discovery, 2 * match.address.size())) {
    return;
  }
  const std::size_t index = discovery.endpoints.size();
  discovery.by_address[match.address] = index;
  WsdEndpoint endpoint;
  endpoint.device.address = match.address;
  endpoint.version = version;
  endpoint.scope = scope;
  discovery.endpoints.push_back(std::move(endpoint));
  if (match.xaddrs.empty()) {
    Resolve(discovery, index, now);
  } else {
    AskMetadata(discovery, index, match.xaddrs);
  }
}

// The answer to a Resolve of ours: the endpoint it names, if it is the one
// resolved, is asked for its metadata.
void TakeResolveMatch(WsdDiscovery& discovery, const WsdMessage& message) {
  const auto resolving = discovery.resolve_ids.find(message.relates_to);
  if (resolving == discovery.resolve_ids.end()) return;
  const auto [id, index] = *resolving;  // a copy: the entry is erased below
  for (const WsdMatch& match : message.matches) {
    if (match.address != discovery.endpoints[index].device.address) continue;
    discovery.resolve_ids.erase(resolving);
    AskMetadata(discovery, index, match.xaddrs);
    return;
  }
}

// A datagram: an answer to one of our Probes (while they are listened for)
// or Resolves, or nothing to us.
void ReadDatagram(WsdDiscovery& discovery, std::string_view bytes,
                  std::uint32_t scope, Deadline now) {
  WsdMessage message;
  if (!ReadWsdMessage(bytes, message) || message.relates_to.empty()) return;
  if (message.resolve_matches) {
    TakeResolveMatch(discovery, message);
    return;
  }
  const std::vector<std::string>& ours = discovery.probe_ids;
  if (now >= discovery.listen_end ||
      std::find(ours.begin(), ours.end(), message.relates_to) == ours.end()) {
    return;
  }
  for (const WsdMatch& match : message.matches) {
    TakeMatch(discovery, match, message.version, scope, now);
  }
}

void ReadDatagrams(WsdDiscovery& discovery, const PollSet& set, Deadline now) {
  char buffer[kMostDatagramBytes];
  int left = kWsdDatagramsAtOnce;
  for (const WsdSocket* socket : {&discovery.sockets.v4, &discovery.sockets.v6}) {
    if (!*socket || (ReadyEvents(set, (*socket)->fd) & POLLIN) == 0) continue;
    std::uint32_t scope = 0;
    for (; left > 0; --left) {
      const long got = ReceiveWsdDatagram((*socket)->fd, buffer, sizeof buffer, scope);
      if (got < 0) break;
      ReadDatagram(discovery, std::string_view(buffer, static_cast<std::size_t>(got)),
                   scope, now);
    }
  }
}

// Endpoints whose Resolve had no answer in time: done, known by their
// address alone.
void EndLateResolves(WsdDiscovery& discovery, Deadline now) {
  for (auto at = discovery.resolve_ids.begin(); at != discovery.resolve_ids.end();) {
    const auto& [id, endpoint] = *at;
    if (now < discovery.endpoints[endpoint].resolve_end) {
      ++at;
      continue;
    }
    at = discovery.resolve_ids.erase(at);
  }
}

// Each device's name and model, from the metadata it gave.
void TakeMetadata(WsdDiscovery& discovery, const std::vector<WsdAnswer>& answers) {
  for (const WsdAnswer& answer : answers) {
    WsdEndpoint& endpoint = discovery.endpoints[answer.endpoint];
    WsdMessage message;
    if (!answer.body || !ReadWsdMessage(*answer.body, message)) continue;
    if (message.friendly_name && Keep(discovery, message.friendly_name->size())) {
      endpoint.device.friendly_name = std::move(message.friendly_name);
    }
    if (message.model_name && Keep(discovery, message.model_name->size())) {
      endpoint.device.model_name = std::move(message.model_name);
    }
  }
}

bool AddressOrder(const WsdDevice& a, const WsdDevice& b) { return a.address < b.address; }

}  // namespace

void StartWsdDiscovery(WsdDiscovery& discovery, const WsdSettings& settings,
                       Deadline discovery_end, Deadline run_end) {
  discovery = WsdDiscovery();
  const Deadline now = Now();
  discovery.run_end = run_end;
  discovery.listen_end = std::min({discovery_end, now + kWsdListenBound, run_end});
  if (now >= discovery.listen_end || LoadExpatOnce() == nullptr ||
      !OpenWsdSockets(discovery.sockets, settings.destinations, settings.port)) {
    discovery.listen_end = now;
    return;
  }
  for (WsdVersion version : kVersions) {
    std::string id = NewMessageId();
    SendTwice(discovery, ProbeMessage(version, id), now);
    discovery.probe_ids.push_back(std::move(id));
  }
}

void WsdPolls(const WsdDiscovery& discovery, PollSet& set, Deadline now) {
  if (IsWsdDiscoveryOver(discovery, now)) return;
  for (const WsdSocket* socket : {&discovery.sockets.v4, &discovery.sockets.v6}) {
    if (*socket) WantPoll(set, (*socket)->fd, POLLIN);
  }
  if (now < discovery.listen_end) WakeBy(set, discovery.listen_end);
  for (const WsdRepeat& repeat : discovery.repeats) WakeBy(set, repeat.when);
  for (const auto& [id, endpoint] : discovery.resolve_ids) {
    WakeBy(set, discovery.endpoints[endpoint].resolve_end);
  }
  MetadataPolls(discovery.metadata, set, now);
  WakeBy(set, discovery.run_end);
}

void ContinueWsdDiscovery(WsdDiscovery& discovery, const PollSet& set,
                          Deadline now) {
  if (IsWsdDiscoveryOver(discovery, now)) return;
  SendRepeats(discovery, now);
  ReadDatagrams(discovery, set, now);
  TakeMetadata(discovery, ContinueMetadata(discovery.metadata, set, now));
  EndLateResolves(discovery, now);
  TakeMetadata(discovery, StartMetadataTurns(discovery.metadata, now, discovery.run_end));
}

bool IsWsdDiscoveryOver(const WsdDiscovery& discovery, Deadline now) {
  if (now >= discovery.run_end) return true;
  if (now < discovery.listen_end) return false;
  return discovery.resolve_ids.empty() && IsMetadataIdle(discovery.metadata);
}

std::vector<WsdDevice> EndWsdDiscovery(WsdDiscovery& discovery) {
  EndMetadata(discovery.metadata);
  std::vector<WsdDevice> devices;
  for (WsdEndpoint& endpoint : discovery.endpoints) {
    devices.push_back(std::move(endpoint.device));
  }
  discovery = WsdDiscovery();
  std::sort(devices.begin(), devices.end(), &AddressOrder);
  return devices;
}
