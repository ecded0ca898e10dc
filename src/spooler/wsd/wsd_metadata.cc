// Metadata requests as HTTP exchanges (net/http_exchange.h) that the
// discovery's part of the loop moves along.
#include "spooler/wsd/wsd_metadata.h"

#include <algorithm>

#include "spooler/run_limits.h"

namespace {

// SOAP 1.2 over HTTP.
const char kSoapContentType[] = "application/soap+xml; charset=utf-8";

// An answer's bytes so far, head and body: what its bound counts.
std::size_t AnswerBytes(const HttpExchange& exchange) {
  return exchange.answer.data.size() + exchange.answer.body.size();
}

const std::size_t kMostAnswerWithHead = kMostWsdAnswerBytes + kMostHeadBytes;

std::size_t AskingTo(const WsdMetadata& metadata, const std::string& host) {
  return static_cast<std::size_t>(
      std::count_if(metadata.asking.begin(), metadata.asking.end(),
                    [&host](const WsdAsking& asking) { return asking.host == host; }));
}

// The next host in turn after the last one (in the order of hosts, round
// and round) that has a request waiting and room for one more; none when
// no host has.
std::map<std::string, std::deque<WsdQueued>>::iterator NextTurn(WsdMetadata& metadata) {
  auto& waiting = metadata.waiting;
  const auto after = waiting.upper_bound(metadata.last_turn);
  const auto has_room = [&metadata](const auto& at) {
    const auto& [host, requests] = *at;
    return AskingTo(metadata, host) < kMostWsdMetadataPerHost;
  };
  for (auto at = after; at != waiting.end(); ++at) {
    if (has_room(at)) return at;
  }
  for (auto at = waiting.begin(); at != after; ++at) {
    if (has_room(at)) return at;
  }
  return waiting.end();
}

// The answer of an exchange that is over, its connection closed and its
// buffers given back.
WsdAnswer Finish(WsdAsking& asking) {
  WsdAnswer answer = {asking.endpoint, HttpBodyOf(asking.exchange)};
  if (answer.body && answer.body->size() > kMostWsdAnswerBytes) answer.body.reset();
  AbandonHttp(asking.exchange);
  return answer;
}

}  // namespace

void QueueMetadata(WsdMetadata& metadata, std::size_t endpoint, WsdTarget target,
                   std::string body) {
  const std::string host = target.host;
  metadata.waiting[host].push_back({endpoint, std::move(target), std::move(body)});
}

void MetadataPolls(const WsdMetadata& metadata, PollSet& set, Deadline now) {
  for (const WsdAsking& asking : metadata.asking) {
    WantPoll(set, asking.exchange.fd, HttpEvents(asking.exchange));
    WakeBy(set, HttpWakeTime(asking.exchange, now));
  }
}

std::vector<WsdAnswer> ContinueMetadata(WsdMetadata& metadata, const PollSet& set,
                                        Deadline now) {
  std::vector<WsdAsking>& asking = metadata.asking;
  // Each exchange's events are read before any of them may open a
  // connection, which could have the number of one just closed.
  std::vector<short> events;
  for (const WsdAsking& one : asking) {
    events.push_back(ReadyEvents(set, one.exchange.fd));
  }
  for (std::size_t i = 0; i < asking.size(); ++i) {
    HttpExchange& exchange = asking[i].exchange;
    // One byte past the bound is let in, so that an answer over it shows.
    const std::size_t room =
        kMostAnswerWithHead + 1 - std::min(AnswerBytes(exchange), kMostAnswerWithHead);
    ContinueHttp(exchange, events[i], now, room);
    if (!IsHttpOver(exchange) && AnswerBytes(exchange) > kMostAnswerWithHead) {
      AbandonHttp(exchange);
    }
  }
  for (;;) {
    std::size_t held = 0;
    HttpExchange* most = nullptr;
    for (WsdAsking& one : asking) {
      const std::size_t bytes = HttpHeldBytes(one.exchange);
      held += bytes;
      if (most == nullptr || bytes > HttpHeldBytes(*most)) most = &one.exchange;
    }
    if (held <= kMostWsdHeldBytes || most == nullptr) break;
    // Abandoned, it holds nothing: this ends.
    AbandonHttp(*most);
  }
  std::vector<WsdAnswer> over;
  std::vector<WsdAsking> going_on;
  for (WsdAsking& one : asking) {
    if (IsHttpOver(one.exchange)) {
      over.push_back(Finish(one));
    } else {
      going_on.push_back(std::move(one));
    }
  }
  asking = std::move(going_on);
  return over;
}

std::vector<WsdAnswer> StartMetadataTurns(WsdMetadata& metadata, Deadline now,
                                          Deadline run_end) {
  std::vector<WsdAnswer> over;
  while (now < run_end && metadata.asking.size() < kMostWsdMetadataAtOnce) {
    const auto turn = NextTurn(metadata);
    if (turn == metadata.waiting.end()) break;
    auto& [host, requests] = *turn;
    metadata.last_turn = host;
    WsdQueued queued = std::move(requests.front());
    requests.pop_front();
    if (requests.empty()) metadata.waiting.erase(turn);

    WsdAsking asking;
    asking.endpoint = queued.endpoint;
    asking.host = queued.target.host;
    HttpRequest request;
    request.host = queued.target.host;
    request.port = queued.target.port;
    request.resource = queued.target.resource;
    request.body = std::move(queued.body);
    request.content_type = kSoapContentType;
    request.last = true;
    request.tls = queued.target.tls;
    request.may_upgrade = false;
    asking.exchange.addresses = std::move(queued.target.addresses);
    BeginHttp(asking.exchange, std::move(request),
              std::min(now + kServerBound, run_end), now);
    if (IsHttpOver(asking.exchange)) {
      over.push_back(Finish(asking));
      continue;
    }
    metadata.asking.push_back(std::move(asking));
  }
  return over;
}

bool IsMetadataIdle(const WsdMetadata& metadata) {
  return metadata.waiting.empty() && metadata.asking.empty();
}

void EndMetadata(WsdMetadata& metadata) {
  for (WsdAsking& asking : metadata.asking) AbandonHttp(asking.exchange);
  metadata = WsdMetadata();
}
