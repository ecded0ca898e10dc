// The loop's one poll.
#include "spooler/net/poll_set.h"

#include <algorithm>

PollSet NewPollSet(Deadline latest) { return {{}, {}, latest}; }

void WantPoll(PollSet& set, int fd, short events) {
  if (fd < 0 || events == 0) return;
  set.wanted.push_back({fd, events, 0});
}

void WakeBy(PollSet& set, Deadline time) { set.wake = std::min(set.wake, time); }

void WaitForPolls(PollSet& set) {
  set.ready.clear();
  const int ready = poll(set.wanted.data(), set.wanted.size(),
                         MillisecondsLeft(set.wake));
  if (ready <= 0) return;  // the time has come (or a signal: look again)
  int highest = -1;
  for (const pollfd& polled : set.wanted) highest = std::max(highest, polled.fd);
  set.ready.assign(static_cast<std::size_t>(highest) + 1, 0);
  for (const pollfd& polled : set.wanted) {
    set.ready[static_cast<std::size_t>(polled.fd)] |= polled.revents;
  }
}

short ReadyEvents(const PollSet& set, int fd) {
  if (fd < 0 || static_cast<std::size_t>(fd) >= set.ready.size()) return 0;
  return set.ready[static_cast<std::size_t>(fd)];
}
