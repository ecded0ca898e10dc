#include "fd_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

void Drain(int fd, std::uint64_t& drained) {
  std::vector<char> block(1 << 16);
  for (;;) {
    const ssize_t got = read(fd, block.data(), block.size());
    if (got <= 0) break;
    drained += static_cast<std::uint64_t>(got);
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
