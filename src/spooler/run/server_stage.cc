// Moves between a server's stages.
#include "spooler/run/server_stage.h"

#ifdef QUELVARO_TRACE_RUN
#include <cstdio>

#include "spooler/utf8_text.h"
#endif

namespace {

#ifdef QUELVARO_TRACE_RUN
const char* const kStageNames[kServerStages] = {"waiting", "asking", "over",
                                                "given"};

void TraceMove(const RunServer& server, std::size_t index, RunServerStage to) {
  const std::wstring& name = server.asking.server.name;
  std::fprintf(stderr, "run: server %zu %s: %s -> %s\n", index,
               Utf8FromWide(name).c_str(), kStageNames[server.stage],
               kStageNames[to]);
}
#endif

}  // namespace

void MoveServer(ServerRegistry& registry, AskingPool& pool, std::size_t index,
                RunServerStage to) {
  RunServer& server = registry.servers[index];
  const RunServerStage from = server.stage;
  if (from == to) return;
#ifdef QUELVARO_TRACE_RUN
  TraceMove(server, index, to);
#endif
  if (to == kServerAsking) {
    if (from == kServerWaiting) {
      TakeServerShare(pool, server);
    } else {
      TakeMoreDescriptors(pool, server);
    }
  } else if (from == kServerAsking) {
    ReleaseServerShare(pool, server);
  }
  --registry.at_stage[from];
  ++registry.at_stage[to];
  server.stage = to;
  while (registry.next_waiting < registry.servers.size() &&
         registry.servers[registry.next_waiting].stage != kServerWaiting) {
    ++registry.next_waiting;
  }
}

bool IsTurnDue(const ServerRegistry& registry, const AskingPool& pool) {
  return registry.next_waiting < registry.servers.size() &&
         HasRoomFor(pool, registry.servers[registry.next_waiting]);
}
