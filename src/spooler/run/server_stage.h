// The one place a run's server moves from one stage to the next, and what
// follows from each move for what it holds.
#ifndef QUELVARO_SPOOLER_RUN_SERVER_STAGE_H
#define QUELVARO_SPOOLER_RUN_SERVER_STAGE_H

#include <cstddef>

#include "spooler/run/asking_pool.h"
#include "spooler/run/server_registry.h"

// Moves the server at index to the stage `to`:
//   waiting -> asking   it takes its descriptors and reserve (the caller
//                       saw HasRoomFor) and may be started
//   over -> asking      asked again for a URI learnt later: it takes the
//                       descriptors it needs, as far as there are any
//   asking -> over      it gives back what it held
//   any -> given        (asking: it gives back what it held first) its
//                       printers are to be the report's
// The registry's count of each stage follows. Built with QUELVARO_TRACE_RUN,
// each move is a line on standard error.
void MoveServer(ServerRegistry& registry, AskingPool& pool, std::size_t index,
                RunServerStage to);

// Whether a server waits its turn and there is room for it to start: the
// next to start is then registry.next_waiting.
bool IsTurnDue(const ServerRegistry& registry, const AskingPool& pool);

#endif  // QUELVARO_SPOOLER_RUN_SERVER_STAGE_H
