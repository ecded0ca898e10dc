// Every lock of the program, and what each guards. The report runs on the
// process's own thread, a network run's loop on a thread of its own
// (run/run_thread.h), and name lookups on a few threads more
// (net/address_lookup.h); they share nothing but what these guard.
// (Libraries loaded once, LoadGnutlsOnce and the like, are loaded under
// std::call_once; statics made at first use under the compiler's own guard.)
#ifndef QUELVARO_SPOOLER_RUN_LOCKS_H
#define QUELVARO_SPOOLER_RUN_LOCKS_H

#include <condition_variable>
#include <mutex>

// What a run hands the report (run/run_handoff.h): every field of its
// RunHandoff once the run's thread has started, the stop the report asks
// for among them. The report's waits wait on `changed`.
struct HandoffLock {
  std::mutex mutex;
  std::condition_variable changed;
};

// One loop's name lookups (net/address_lookup.h): the questions no thread
// has taken yet, the answers the loop has not taken yet, and how many
// lookup threads run.
struct LookupsLock {
  std::mutex mutex;
};

#endif  // QUELVARO_SPOOLER_RUN_LOCKS_H
