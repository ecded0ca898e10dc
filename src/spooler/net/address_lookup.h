// Name lookups for a loop that must never wait on one: each lookup runs on
// one of a few threads of its own, and its answer is handed back through a
// descriptor the loop polls. A lookup that hangs holds its thread, never the
// loop; the loop gives up on it at its own deadline.
#ifndef QUELVARO_SPOOLER_NET_ADDRESS_LOOKUP_H
#define QUELVARO_SPOOLER_NET_ADDRESS_LOOKUP_H

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "spooler/net/connect_socket.h"
#include "spooler/run_locks.h"

// A lookup asked for, and then answered.
struct AddressQuestion {
  std::size_t asker;  // the caller's number for who asked
  std::string host;
  int port;
};
struct AddressAnswer {
  std::size_t asker;
  std::vector<SocketAddress> addresses;  // none when the name has none
};

// The lookups of one loop. Shared with its threads, which end when no
// question is left; the last owner closes the descriptor.
struct AddressLookups {
  LookupsLock lock;                       // guards all of what follows
  std::deque<AddressQuestion> questions;  // not yet taken by a thread
  std::vector<AddressAnswer> answers;     // not yet taken by the loop
  std::size_t threads = 0;                // running (kMostLookupThreads)
  bool out_of_memory = false;             // a thread's lookup ran out
  int ready = -1;                         // readable while answers wait
};
using SharedLookups = std::shared_ptr<AddressLookups>;

// New lookups (with no descriptor when the system gives none: every lookup
// is then answered with no addresses).
SharedLookups StartAddressLookups();

// The descriptor to poll for POLLIN.
int LookupDescriptor(const SharedLookups& lookups);

// Asks for the addresses of host and port, for asker; starts a lookup
// thread (kLookupThreadStackBytes of stack) while fewer than
// kMostLookupThreads run. Throws RunFailure (run_failure.h) when none runs
// and none can start: the question would never be answered.
void AskAddresses(const SharedLookups& lookups, std::size_t asker,
                  const std::string& host, int port);

// The answers that have come since the last call. Throws RunFailure when a
// lookup thread ran out of memory.
std::vector<AddressAnswer> TakeAddressAnswers(const SharedLookups& lookups);

// Drops the questions no thread has taken yet: the threads end once their
// lookups under way are over (each then answers nobody).
void DropAddressQuestions(const SharedLookups& lookups);

#endif  // QUELVARO_SPOOLER_NET_ADDRESS_LOOKUP_H
