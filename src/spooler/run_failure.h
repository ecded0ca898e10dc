// The spooler's own failure to run, as against what its sources answer: its
// thread or a name lookup's cannot start, a library it needs is installed
// but cannot be loaded (no address space left to map it), a process it
// forks cannot be forked, memory runs out. An empty answer is an answer;
// this is none: it ends the program, with one line on standard error and
// status kRunFailedStatus, between two lines of the report, so that every
// line written up to there stays whole. A library that is not installed at
// all (a build or a machine without libsmbclient, say) is no failure: what
// needs it is done without it, as the program says it is.
#ifndef QUELVARO_SPOOLER_RUN_FAILURE_H
#define QUELVARO_SPOOLER_RUN_FAILURE_H

// The exit status of a program whose spooler could not run (a report that
// could not be written ends with 1).
const int kRunFailedStatus = 2;

// Why, in a block of its own, so that saying it takes no memory. Thrown
// where the failure is found, through the layers above it, and caught where
// a thread can end what it does: the run's thread ends the run with it (the
// report's thread finds it when it next waits for the run), the report's
// thread ends the program.
struct RunFailure {
  char reason[256];
};

// A failure for that reason, with detail (a library's own words, say) after
// a colon when there is one; cut to what the block holds, any control
// character in it a blank, so that it stays one line.
RunFailure MakeRunFailure(const char* reason, const char* detail = nullptr);

// Loads a shared library with dlopen (RTLD_NOW | RTLD_LOCAL). Null when it
// is not installed: no such file, for it or for a library it needs. Throws
// RunFailure when it is installed but cannot be loaded.
void* LoadSharedLibrary(const char* name);

// Ends the program at once: "quelvaro: the spooler cannot run: " and the
// reason, on standard error, then status kRunFailedStatus. Nothing is
// flushed: the report's lines were, as they were written, and a line not
// yet whole is never written.
[[noreturn]] void EndProgramForFailure(const RunFailure& failure);

#endif  // QUELVARO_SPOOLER_RUN_FAILURE_H
