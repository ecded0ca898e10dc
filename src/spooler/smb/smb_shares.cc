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
    const std::optional<std::string> address = SmbNumericAddress(server);
    if (out >= 0 && address) {
      const std::optional<SmbShareList> shares = ListSmbPrinterSharesHere(
          *address, std::max(1, MillisecondsLeft(deadline)));
      if (shares && WriteAll(out, EncodeSmbShareMessage(*shares))) status = 0;
    }
  } catch (...) {
  }
  _exit(status);
}

}  // namespace

SmbListing StartSmbListing(const std::string& server, Deadline deadline) {
  SmbListing listing;
  if (MillisecondsLeft(deadline) <= 0) return listing;
  int ends[2];
  // Close-on-exec: a program that another thread starts meanwhile must not
  // hold the pipe open.
  if (pipe2(ends, O_CLOEXEC) != 0) return listing;
  const pid_t child = fork();
  if (child == 0) ListInChild(server, deadline, ends[1]);
  close(ends[1]);
  // The caller's end does not block: the caller's loop reads it.
  if (child < 0 || fcntl(ends[0], F_SETFL, O_NONBLOCK) != 0) {
    close(ends[0]);
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    return listing;
  }
  listing.child = child;
  listing.pipe = ends[0];
  return listing;
}

bool ReadSmbListing(SmbListing& listing) {
  if (listing.pipe < 0) return true;
  for (;;) {
    char buffer[4096];
    const ssize_t n = read(listing.pipe, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return false;
    if (n <= 0) return true;  // the child is gone, or the pipe failed
    listing.message.append(buffer, static_cast<std::size_t>(n));
    if (DecodeSmbShareMessage(listing.message)) return true;
  }
}

std::optional<SmbShareList> EndSmbListing(SmbListing& listing) {
  if (listing.child < 0) return std::nullopt;
  // Killed whether or not it has ended (a child that has written its whole
  // message has nothing left to do), and reaped.
  kill(listing.child, SIGKILL);
  while (waitpid(listing.child, nullptr, 0) < 0 && errno == EINTR) {
  }
  close(listing.pipe);
  listing.child = -1;
  listing.pipe = -1;
  return DecodeSmbShareMessage(listing.message);
}

std::optional<SmbShareList> ListSmbPrinterShares(const std::string& server,
                                                 Deadline deadline) {
  SmbListing listing = StartSmbListing(server, deadline);
  while (listing.pipe >= 0) {
    pollfd readable = {listing.pipe, POLLIN, 0};
    const int ready = poll(&readable, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || ReadSmbListing(listing)) break;
  }
  return EndSmbListing(listing);
}
