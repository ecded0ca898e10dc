// One poll over every descriptor of a loop: each part of the loop says what
// it waits for and by when, the loop waits once, and each part then reads
// what its own descriptors are ready for.
#ifndef QUELVARO_SPOOLER_NET_POLL_SET_H
#define QUELVARO_SPOOLER_NET_POLL_SET_H

#include <poll.h>

#include <vector>

#include "spooler/deadline.h"

struct PollSet {
  std::vector<pollfd> wanted;
  std::vector<short> ready;  // by descriptor, after the wait
  Deadline wake;             // the earliest time a part must be moved on
};

// A set that wakes by `latest` at the latest.
PollSet NewPollSet(Deadline latest);

// Waits for events on fd (nothing for a negative fd or no events).
void WantPoll(PollSet& set, int fd, short events);

// Wakes the wait by the time given, whatever the descriptors do.
void WakeBy(PollSet& set, Deadline time);

// Waits until a descriptor is ready or the wake time.
void WaitForPolls(PollSet& set);

// What fd is ready for after the wait: 0 when nothing, or when fd was not
// waited on. A part reads it for the descriptor it had when it said what it
// waits for, before it opens any other (a new descriptor may have the
// number of one another part has just closed).
short ReadyEvents(const PollSet& set, int fd);

#endif  // QUELVARO_SPOOLER_NET_POLL_SET_H
