// The metadata requests of a WSD discovery: a WS-Transfer Get to each
// device's transport address, over HTTP (or HTTPS), many at once, taken in
// turn from each host so that one host's endpoints, however many and
// however slow, never keep another host's from being asked. Each request
// has kServerBound from its own start; answers are bounded one by one
// (kMostWsdAnswerBytes) and all together (kMostWsdHeldBytes).
#ifndef QUELVARO_SPOOLER_WSD_WSD_METADATA_H
#define QUELVARO_SPOOLER_WSD_WSD_METADATA_H

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "spooler/deadline.h"
#include "spooler/net/http_exchange.h"
#include "spooler/net/poll_set.h"
#include "spooler/wsd/wsd_target.h"

// A request waiting for its turn.
struct WsdQueued {
  std::size_t endpoint;  // the caller's number for whom it is
  WsdTarget target;
  std::string body;      // the Get
};

// A request under way.
struct WsdAsking {
  std::size_t endpoint;
  std::string host;      // its target's
  HttpExchange exchange;
};

// A request that is over, and the metadata it brought: none when the
// device did not answer in time, answered with an error, or too much.
struct WsdAnswer {
  std::size_t endpoint;
  std::optional<std::string> body;
};

struct WsdMetadata {
  std::map<std::string, std::deque<WsdQueued>> waiting;  // by host
  std::string last_turn;           // the host that had the last turn
  std::vector<WsdAsking> asking;
};

// Queues a Get (body) to the target, for endpoint.
void QueueMetadata(WsdMetadata& metadata, std::size_t endpoint, WsdTarget target,
                   std::string body);

// What the requests under way wait for, into set, and by when.
void MetadataPolls(const WsdMetadata& metadata, PollSet& set, Deadline now);

// Moves the requests under way on at now, after the wait on set; gives up
// an answer grown past kMostWsdAnswerBytes (and its head), then, while the
// answers together hold more than kMostWsdHeldBytes, the one that holds
// most. Returns the requests that are over.
std::vector<WsdAnswer> ContinueMetadata(WsdMetadata& metadata, const PollSet& set,
                                        Deadline now);

// Starts the waiting requests whose turn has come, while fewer than
// kMostWsdMetadataAtOnce are under way (kMostWsdMetadataPerHost to one
// host): each to be answered within kServerBound, and by run_end. Opens
// their connections; one that cannot even begin is over at once, among
// those returned.
std::vector<WsdAnswer> StartMetadataTurns(WsdMetadata& metadata, Deadline now,
                                          Deadline run_end);

// Whether no request is waiting or under way.
bool IsMetadataIdle(const WsdMetadata& metadata);

// Gives up every request, waiting or under way, closing its connection.
void EndMetadata(WsdMetadata& metadata);

#endif  // QUELVARO_SPOOLER_WSD_WSD_METADATA_H
