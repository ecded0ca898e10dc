// The print servers of a run, each once by name, in the order they became
// known, each at its stage: waiting its turn, being asked, over, or handed
// to the report. MoveServer (server_stage.h) is the one place a stage
// changes.
#ifndef QUELVARO_SPOOLER_RUN_SERVER_REGISTRY_H
#define QUELVARO_SPOOLER_RUN_SERVER_REGISTRY_H

#include <cstddef>
#include <deque>
#include <map>
#include <string>

#include "spooler/remote/server_asking.h"

enum RunServerStage {
  kServerWaiting,  // known; waits its turn for descriptors and memory
  kServerAsking,   // being asked: holds its descriptors and its reserve
  kServerOver,     // its asking is over and gave back what it held; its
                   // printers wait until no URI can come for it any more
  kServerGiven,    // its printers are the report's
};
const std::size_t kServerStages = 4;

struct RunServer {
  ServerAsking asking;
  RunServerStage stage = kServerWaiting;
  std::size_t descriptors = 0;    // taken from the pool while it is asked
  std::size_t held_bytes = 0;     // what its answer under way holds
  std::size_t counted_bytes = 0;  // what the pool counts for it: its
                                  // reserve, or what it holds beyond that
};

struct ServerRegistry {
  std::deque<RunServer> servers;                // never moved once added
  std::map<std::wstring, std::size_t> by_name;  // AsciiLower name: index
  // How many servers are at each stage, and the first that may be waiting:
  // every server before it has had its turn. Turns come in the order the
  // servers became known.
  std::size_t at_stage[kServerStages] = {};
  std::size_t next_waiting = 0;
};

// Where a server is in the registry, and whether it was just added.
struct RegisteredServer {
  std::size_t index;
  bool added;
};

// The server of that name (compared as host names are), added (waiting,
// with no URI yet) when the registry does not have it.
RegisteredServer RegisterServer(ServerRegistry& registry,
                                const std::wstring& name);

#endif  // QUELVARO_SPOOLER_RUN_SERVER_REGISTRY_H
