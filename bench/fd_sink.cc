#include "fd_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// The pipe's capacity, where the system allows it.
const int kPipeBytes = 1 << 20;

// Reads the pipe in large pieces with a pause after each: the writer mostly
// finds the pipe with room and nobody waiting in read(2), so its writes cost
// what a write to a pipe costs, not a wake-up of this thread each (which on
// a busy machine is up to the scheduler, and would swamp the figures).
void Drain(int fd, std::uint64_t& drained) {
  std::vector<char> block(kPipeBytes);
  for (;;) {
    const ssize_t got = read(fd, block.data(), block.size());
    if (got <= 0) break;
    drained += static_cast<std::uint64_t>(got);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

}  // namespace

bool OpenSink(SinkKind kind, Sink& sink) {
  sink.drained = 0;
  if (kind == SinkKind::kDevNull) {
    sink.fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    return sink.fd >= 0;
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  fcntl(ends[1], F_SETPIPE_SZ, kPipeBytes);  // a smaller pipe still works
  sink.read_end = ends[0];
  sink.fd = ends[1];
  sink.drain = std::thread(Drain, sink.read_end, std::ref(sink.drained));
  return true;
}

void CloseSink(Sink& sink) {
  if (sink.fd >= 0) close(sink.fd);
  sink.fd = -1;
  if (sink.drain.joinable()) sink.drain.join();
  if (sink.read_end >= 0) close(sink.read_end);
  sink.read_end = -1;
}

int RedirectStdout(int fd) {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  if (saved < 0) return -1;
  if (dup2(fd, STDOUT_FILENO) < 0) {
    close(saved);
    return -1;
  }
  return saved;
}

void RestoreStdout(int saved) {
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
}
