// Turns taken type by type.
#include "spooler/dnssd/type_turns.h"

std::optional<std::size_t> TakeNextInTurn(TypeTurns& turns) {
  const std::size_t types = turns.queues.size();
  for (std::size_t looked = 0; looked < types; ++looked) {
    std::deque<std::size_t>& queue = turns.queues[turns.next];
    turns.next = (turns.next + 1) % types;
    if (queue.empty()) continue;
    const std::size_t index = queue.front();
    queue.pop_front();
    return index;
  }
  return std::nullopt;
}

bool AreTurnsEmpty(const TypeTurns& turns) {
  for (const std::deque<std::size_t>& queue : turns.queues) {
    if (!queue.empty()) return false;
  }
  return true;
}
