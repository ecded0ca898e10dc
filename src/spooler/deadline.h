// Deadlines on the steady clock, and the poll timeout that waits for one.
#ifndef QUELVARO_SPOOLER_DEADLINE_H
#define QUELVARO_SPOOLER_DEADLINE_H

#include <algorithm>
#include <chrono>

using Deadline = std::chrono::steady_clock::time_point;

inline Deadline Now() { return std::chrono::steady_clock::now(); }

// The time from now to the deadline in whole milliseconds, rounded up (a
// poll that returns at its timeout finds the deadline passed), at least 0
// and at most about twelve days: what poll() is given.
inline int MillisecondsLeft(Deadline deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - Now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

#endif  // QUELVARO_SPOOLER_DEADLINE_H
