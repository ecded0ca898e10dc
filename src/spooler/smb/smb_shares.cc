// Each listing runs in a child process of its own, forked for it and killed
// by the deadline. libsmbclient (as Debian builds it) has no thread support:
// all its state, the talloc stack of temporary memory included, is global,
// so two listings at once in one process would share it. It can also not be
// told to stop: its connect waits 5 seconds whatever its timeout says, and
// the timeout bounds each request, not a listing. A child is isolated from
// both, and from the caller's process; the caller never loads a
// configuration, never sees libsmbclient's output, and keeps no memory of it.
// The child of a process with other threads may use what glibc makes safe
// after a fork (memory allocation, the dynamic loader, name lookup); should
// it still wait for a lock that another thread held at the fork, it is
// killed by the deadline like a child that waits for a server.
#include "spooler/smb/smb_shares.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "spooler/smb/smb_address.h"
#include "spooler/smb/smb_client.h"
#include "spooler/smb/smb_share_message.h"

namespace {

using Deadline = std::chrono::steady_clock::time_point;

int MillisecondsLeft(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

void CloseDescriptor(int* fd) { close(*fd); }

// Killed whether or not it has ended (a child that has written its whole
// message has nothing left to do), and reaped.
void KillAndReap(pid_t* child) {
  kill(*child, SIGKILL);
  while (waitpid(*child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// The child's standard streams go to /dev/null (libsmbclient writes its
// debug output to standard output), and of the descriptors it inherited it
// keeps only `out`, as 3. Other listings' pipes among them are closed at
// once, so each of those sees its end when its own child goes.
int KeepOnlyOutput(int out) {
  if (out <= STDERR_FILENO) out = fcntl(out, F_DUPFD, STDERR_FILENO + 1);
  const int null = open("/dev/null", O_RDWR);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (null >= 0 && null != fd) dup2(null, fd);
  }
  const int kept = STDERR_FILENO + 1;
  if (out != kept) out = dup2(out, kept);
  if (out != kept) return -1;
  close_range(kept + 1, ~0U, 0);
  return kept;
}

// The child: lists, writes the message (only for a listing that worked) and
// ends without running the caller's exit handlers or flushing its streams.
[[noreturn]] void ListInChild(const std::string& server, Deadline deadline,
                              int out) {
  int status = 1;
  try {
    out = KeepOnlyOutput(out);
    const std::optional<SmbServerToAsk> asked = SmbServerAsAsked(server);
    if (out >= 0 && asked) {
      const std::optional<SmbShareList> shares = ListSmbPrinterSharesHere(
          *asked, std::max(1, MillisecondsLeft(deadline)));
      if (shares && WriteAll(out, EncodeSmbShareMessage(*shares))) status = 0;
    }
  } catch (...) {
  }
  _exit(status);
}

// What the child wrote, up to a whole message, the child's end of the pipe,
// or the deadline, whichever comes first.
std::string ReadMessage(int in, Deadline deadline) {
  std::string message;
  while (!DecodeSmbShareMessage(message)) {
    pollfd readable = {in, POLLIN, 0};
    const int ready = poll(&readable, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[4096];
    const ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    message.append(buffer, static_cast<std::size_t>(n));
  }
  return message;
}

}  // namespace

SmbListing StartSmbListing(const std::string& server, Deadline deadline) {
  if (MillisecondsLeft(deadline) <= 0) return SmbListing(-1, -1);
  int ends[2];
  // Close-on-exec: a program that another thread starts meanwhile must not
  // hold the pipe open.
  if (pipe2(ends, O_CLOEXEC) != 0) return SmbListing(-1, -1);
  const pid_t child = fork();
  if (child == 0) ListInChild(server, deadline, ends[1]);
  close(ends[1]);
  if (child < 0) {
    close(ends[0]);
    return SmbListing(-1, -1);
  }
  return SmbListing(child, ends[0]);
}

std::optional<SmbShareList> FinishSmbListing(SmbListing listing,
                                             Deadline deadline) {
  if (listing.first < 0) return std::nullopt;
  const std::unique_ptr<int, void (*)(int*)> reader(&listing.second,
                                                    &CloseDescriptor);
  const std::unique_ptr<pid_t, void (*)(pid_t*)> running(&listing.first,
                                                         &KillAndReap);
  return DecodeSmbShareMessage(ReadMessage(listing.second, deadline));
}

std::optional<SmbShareList> ListSmbPrinterShares(const std::string& server,
                                                 Deadline deadline) {
  return FinishSmbListing(StartSmbListing(server, deadline), deadline);
}
