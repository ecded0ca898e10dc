// Where the benchmarks write: a real file descriptor, either /dev/null or the
// write end of a pipe (1 MiB where allowed) that a thread drains in large
// pieces, and the standard output moved onto it for as long as a benchmark
// runs.
#ifndef QUELVARO_BENCH_FD_SINK_H
#define QUELVARO_BENCH_FD_SINK_H

#include <cstdint>
#include <thread>

enum class SinkKind { kDevNull, kPipe };

struct Sink {
  int fd = -1;                // where the bytes go
  int read_end = -1;          // the pipe's other end, -1 for /dev/null
  std::thread drain;          // reads the pipe until its write end closes
  std::uint64_t drained = 0;  // bytes the thread read; valid after CloseSink
};

// Opens the sink; false (with errno set) when it cannot be opened.
bool OpenSink(SinkKind kind, Sink& sink);
// Closes the write end and, for a pipe, waits until everything is drained.
void CloseSink(Sink& sink);

// Flushes stdout and puts fd in the place of file descriptor 1. Returns a
// copy of the descriptor 1 had, for RestoreStdout; -1 on failure.
int RedirectStdout(int fd);
// Flushes stdout and gives file descriptor 1 back what it had.
void RestoreStdout(int saved);

#endif  // QUELVARO_BENCH_FD_SINK_H
