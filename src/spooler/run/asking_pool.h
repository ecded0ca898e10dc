// What the servers of a run may hold at once, and whose turn it is to be
// asked: every server takes the descriptors it needs (its connection, a
// pipe per SMB listing) and a reserve of answer bytes when it starts, and
// gives them back when its asking is over; the answers under way are
// counted together by what their buffers hold (each at least its reserve).
// A server waits its turn, in the order the servers became known, and is
// started when there is room for it; when the answers under way hold more
// than the run allows, the one that holds most is given up.
#ifndef QUELVARO_SPOOLER_RUN_ASKING_POOL_H
#define QUELVARO_SPOOLER_RUN_ASKING_POOL_H

#include <cstddef>
#include <deque>
#include <vector>

#include "spooler/run_limits.h"
#include "spooler/run/server_registry.h"

struct AskingPool {
  std::size_t descriptors_left = 0;
  std::size_t answer_bytes = 0;     // the most the answers may hold together
  std::size_t held_bytes = 0;       // what they hold now
  std::deque<std::size_t> turns;    // servers waiting, in turn
};

AskingPool NewAskingPool(const RunBudget& budget);

// The server (a registry index, waiting) waits for its turn.
void WaitTurn(AskingPool& pool, std::size_t server);

// The servers whose turn has come, in turn, while the descriptors they need
// are there and the answers leave room for a first piece of theirs: each
// has what it needs taken and is marked asking; the caller starts them.
std::vector<std::size_t> AdmitServers(AskingPool& pool,
                                      ServerRegistry& registry);

// Whether AdmitServers would admit a server now.
bool IsTurnDue(const AskingPool& pool, const ServerRegistry& registry);

// A server that needs more descriptors than it took at its start (an SMB
// server named later) takes them, as far as there are any.
void TakeMoreDescriptors(AskingPool& pool, RunServer& server);

// The server's answer now holds what its asking says: the pool's count
// follows.
void CountHeldBytes(AskingPool& pool, RunServer& server);

// How many more bytes the server's answer may hold: what the pool has
// left, and what of its reserve it does not hold yet.
std::size_t AnswerRoom(const AskingPool& pool, const RunServer& server);

// A server whose asking is over gives back what it held; it is marked over.
void ReleaseServer(AskingPool& pool, RunServer& server);

// While the answers under way hold more than the run allows, gives up the
// one of the servers asking that holds most beyond its reserve (its IPP
// side is then over, with what it had before that answer). Each server is
// given up once at most, so this ends; and as every server was started with
// room for its reserve, the answers then hold what the run allows at most.
void GiveUpLargestAnswers(AskingPool& pool, ServerRegistry& registry,
                          const std::vector<std::size_t>& asking);

#endif  // QUELVARO_SPOOLER_RUN_ASKING_POOL_H
