// The network run of the process: started on a thread of its own by the
// first request that needs any of its sources, ended with the process.
#ifndef QUELVARO_SPOOLER_RUN_RUN_THREAD_H
#define QUELVARO_SPOOLER_RUN_RUN_THREAD_H

#include "spooler/run/run_handoff.h"

// The run's handoff; the first call reads the CUPS client configuration,
// raises the process's soft limit on open files to its hard one (the
// servers may hold all but kKeptDescriptors of it), forks the SMB
// listings' starter while the process has one thread, and starts the run's
// thread. Waiting is the handoff's (run_handoff.h). Throws RunFailure
// (run_failure.h) when the starter or the thread cannot start.
RunHandoff& ForkSmbStarterAndStartRunThreadOnce();

// Ends the program (EndProgramForFailure) when the run could not run: its
// thread ran out of memory, or could not load a library it needs, or start
// a lookup or a listing; returns otherwise. For the report's thread, after
// each wait for the run: a run that failed ends its handoff, so every wait
// returns.
void EndProgramIfRunFailed();

#endif  // QUELVARO_SPOOLER_RUN_RUN_THREAD_H
