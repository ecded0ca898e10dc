// The print servers of a run, each once by name, in the order they became
// known, each with where it stands: waiting its turn, being asked, over, or
// handed to the report.
#ifndef QUELVARO_SPOOLER_RUN_SERVER_REGISTRY_H
#define QUELVARO_SPOOLER_RUN_SERVER_REGISTRY_H

#include <cstddef>
#include <deque>
#include <map>
#include <string>

#include "spooler/remote/server_asking.h"

enum RunServerStage {
  kServerWaiting,  // known; waits for descriptors and memory (asking_pool.h)
  kServerAsking,   // started: its asking is under way
  kServerOver,     // its asking is over and gave back what it held
  kServerGiven,    // its printers are the report's
};

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
