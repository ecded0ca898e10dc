// Instances waiting to be resolved, one queue per browsed type, taken from
// each type in turn: a device that advertises thousands of instances of one
// type keeps no other type from its turn.
#ifndef QUELVARO_SPOOLER_DNSSD_TYPE_TURNS_H
#define QUELVARO_SPOOLER_DNSSD_TYPE_TURNS_H

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

struct TypeTurns {
  std::vector<std::deque<std::size_t>> queues;  // instances, one a type
  std::size_t next = 0;                         // the type whose turn is next
};

// Takes the first instance of the next type in turn that has one; none when
// every queue is empty.
std::optional<std::size_t> TakeNextInTurn(TypeTurns& turns);

// Whether no instance waits.
bool AreTurnsEmpty(const TypeTurns& turns);

#endif  // QUELVARO_SPOOLER_DNSSD_TYPE_TURNS_H
