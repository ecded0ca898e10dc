// What the servers of a run may hold at once: every server takes the
// descriptors it needs (its connection, a pipe per SMB listing) and a
// reserve of answer bytes when it starts, and gives them back when its
// asking is over; the answers under way are counted together by what their
// buffers hold (each at least its reserve). A server's turn comes when
// there is room for it; when the answers under way hold more than the run
// allows, the one that holds most is given up.
#ifndef QUELVARO_SPOOLER_RUN_ASKING_POOL_H
#define QUELVARO_SPOOLER_RUN_ASKING_POOL_H

#include <cstddef>

#include "spooler/run/server_registry.h"
#include "spooler/run_limits.h"

struct AskingPool {
  std::size_t descriptors_left = 0;
  std::size_t answer_bytes = 0;     // the most the answers may hold together
  std::size_t held_bytes = 0;       // what they hold now
};

AskingPool NewAskingPool(const RunBudget& budget);

// Whether there is room for the server to start: the descriptors it needs,
// and room in the answers for a first piece of its.
bool HasRoomFor(const AskingPool& pool, const RunServer& server);

// The server starts: it takes the descriptors it needs and its reserve.
void TakeServerShare(AskingPool& pool, RunServer& server);

// A server that needs more descriptors than it holds (an SMB server named
// later; or asked again once over) takes them, as far as there are any.
void TakeMoreDescriptors(AskingPool& pool, RunServer& server);

// The server's answer now holds what its asking says: the pool's count
// follows.
void CountHeldBytes(AskingPool& pool, RunServer& server);

// How many more bytes the server's answer may hold: what the pool has
// left, and what of its reserve it does not hold yet.
std::size_t AnswerRoom(const AskingPool& pool, const RunServer& server);

// A server whose asking is over gives back what it held.
void ReleaseServerShare(AskingPool& pool, RunServer& server);

// While the answers under way hold more than the run allows, gives up the
// one of the servers being asked that holds most beyond its reserve (its
// IPP side is then over, with what it had before that answer). Each server
// is given up once at most, so this ends; and as every server was started
// with room for its reserve, the answers then hold what the run allows at
// most.
void GiveUpLargestAnswers(AskingPool& pool, ServerRegistry& registry);

#endif  // QUELVARO_SPOOLER_RUN_ASKING_POOL_H
