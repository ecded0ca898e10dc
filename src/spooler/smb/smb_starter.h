// The process that starts the SMB listings. It is forked while the program
// has one thread, and forks each listing's child itself, so that no child
// starts from a process in which another thread held a lock at the fork (of
// the allocator, the loader, the resolver, a sanitizer's): a child that
// waited for one would list nothing.
#ifndef QUELVARO_SPOOLER_SMB_SMB_STARTER_H
#define QUELVARO_SPOOLER_SMB_SMB_STARTER_H

#include <sys/types.h>

#include <string>

#include "spooler/deadline.h"

struct SmbStarter {
  pid_t process = -1;  // -1: none (every listing then gives nothing)
  int socket = -1;     // the requests go through this
};

// Why a run fails whose starter ended before the program ended it (killed,
// say): its listings would give nothing, as if every server had refused.
extern const char kSmbStarterEnded[];

// Whether the starter has ended, though the program has not ended it.
bool HasSmbStarterEnded(const SmbStarter& starter);

// Starts the starter. To be called while the calling process has one
// thread. It ends when EndSmbStarter closes its socket, or when the calling
// process ends.
SmbStarter StartSmbStarter();

// Ends the starter, and with it every listing child still running; reaps
// it.
void EndSmbStarter(SmbStarter& starter);

// Has the starter fork a child that lists server's printer shares and
// writes its message (smb_share_message.h) to out, a pipe's writing end
// (which the caller still closes). The starter kills the child at the
// deadline if it has not ended by then. False when the request could not be
// sent; throws RunFailure (run_failure.h), for kSmbStarterEnded, when the
// starter has ended. Safe to call from several threads.
bool AskSmbStarter(const SmbStarter& starter, const std::string& server,
                   Deadline deadline, int out);

#endif  // QUELVARO_SPOOLER_SMB_SMB_STARTER_H
