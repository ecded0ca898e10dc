// The network run of the process: started on a thread of its own by the
// first request that needs any of its sources, ended with the process.
#ifndef QUELVARO_SPOOLER_RUN_RUN_THREAD_H
#define QUELVARO_SPOOLER_RUN_RUN_THREAD_H

#include "spooler/run/run_handoff.h"

// The run's handoff; the first call reads the CUPS client configuration,
// raises the process's soft limit on open files to its hard one (the
// servers may hold all but kKeptDescriptors of it), forks the SMB
// listings' starter while the process has one thread, and starts the run's
// thread. Waiting is the handoff's (run_handoff.h).
RunHandoff& ForkSmbStarterAndStartRunThreadOnce();

#endif  // QUELVARO_SPOOLER_RUN_RUN_THREAD_H
