// The count of what the servers hold, and room for the next.
#include "spooler/run/asking_pool.h"

#include <algorithm>

AskingPool NewAskingPool(const RunBudget& budget) {
  AskingPool pool;
  pool.descriptors_left = budget.descriptors;
  pool.answer_bytes = budget.answer_bytes;
  return pool;
}

namespace {

// What the pool has left for all answers.
std::size_t Unheld(const AskingPool& pool) {
  return pool.answer_bytes > pool.held_bytes
             ? pool.answer_bytes - pool.held_bytes
             : 0;
}

// The pool counts the server again: its reserve, or what it holds beyond.
void Count(AskingPool& pool, RunServer& server, std::size_t counted) {
  pool.held_bytes = pool.held_bytes - server.counted_bytes + counted;
  server.counted_bytes = counted;
}

}  // namespace

bool HasRoomFor(const AskingPool& pool, const RunServer& server) {
  return pool.descriptors_left >= AskingDescriptors(server.asking) &&
         Unheld(pool) >= kAnswerReserveBytes;
}

void TakeServerShare(AskingPool& pool, RunServer& server) {
  const std::size_t needed = AskingDescriptors(server.asking);
  pool.descriptors_left -= needed;
  server.descriptors = needed;
  Count(pool, server, kAnswerReserveBytes);
}

void TakeMoreDescriptors(AskingPool& pool, RunServer& server) {
  const std::size_t needed = AskingDescriptors(server.asking);
  if (needed <= server.descriptors) return;
  const std::size_t more = std::min(needed - server.descriptors,
                                    pool.descriptors_left);
  pool.descriptors_left -= more;
  server.descriptors += more;
}

void CountHeldBytes(AskingPool& pool, RunServer& server) {
  server.held_bytes = AskingHeldBytes(server.asking);
  Count(pool, server, std::max(server.held_bytes, kAnswerReserveBytes));
}

std::size_t AnswerRoom(const AskingPool& pool, const RunServer& server) {
  return Unheld(pool) + (server.counted_bytes - std::min(server.held_bytes,
                                                         server.counted_bytes));
}

void ReleaseServerShare(AskingPool& pool, RunServer& server) {
  server.held_bytes = 0;
  Count(pool, server, 0);
  pool.descriptors_left += server.descriptors;
  server.descriptors = 0;
}

void GiveUpLargestAnswers(AskingPool& pool, ServerRegistry& registry) {
  const std::size_t asking = registry.at_stage[kServerAsking];
  for (std::size_t given_up = 0;
       pool.held_bytes > pool.answer_bytes && given_up < asking; ++given_up) {
    RunServer* largest = nullptr;
    for (RunServer& server : registry.servers) {
      // Only what holds more than its reserve counts for more than that.
      if (server.stage == kServerAsking &&
          server.held_bytes > kAnswerReserveBytes &&
          (largest == nullptr || server.held_bytes > largest->held_bytes)) {
        largest = &server;
      }
    }
    if (largest == nullptr) return;
    AbandonAnswer(largest->asking);
    CountHeldBytes(pool, *largest);
  }
}
