// The starter, and the listing children it forks. libsmbclient (as Debian
// builds it) has no thread support: all its state, the talloc stack of
// temporary memory included, is global, so two listings at once in one
// process would share it. It can also not be told to stop: its connect
// waits 5 seconds whatever its timeout says, and the timeout bounds each
// request, not a listing. A child per listing is isolated from both, and
// from the program; the program never loads a configuration, never sees
// libsmbclient's output, and keeps no memory of it.
#include "spooler/smb/smb_starter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "spooler/run_failure.h"
#include "spooler/smb/smb_address.h"
#include "spooler/smb/smb_share_message.h"
#include "spooler/run_limits.h"
#include "spooler/smb/smb_ways.h"
#include "spooler/write_whole.h"

const char kSmbStarterEnded[] = "the SMB listings' process has ended";

namespace {

bool WriteMessage(int fd, const std::string& message) {
  return WriteWhole(fd, message.data(), message.size());
}

// Of the descriptors the child inherited it keeps only its standard
// streams (the starter's, /dev/null) and `out`, as 3.
int KeepOnlyOutput(int out) {
  if (out <= STDERR_FILENO) out = fcntl(out, F_DUPFD, STDERR_FILENO + 1);
  const int kept = STDERR_FILENO + 1;
  if (out != kept) out = dup2(out, kept);
  if (out != kept) return -1;
  close_range(kept + 1, ~0U, 0);
  return kept;
}

// A listing child: lists, writes the message (only for a listing that
// worked, or one that could not run) and ends without running exit
// handlers or flushing streams.
[[noreturn]] void ListInChild(const std::string& server, Deadline deadline,
                              int out) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  int status = 1;
  out = KeepOnlyOutput(out);
  try {
    const std::optional<SmbServerToAsk> asked = SmbServerAsAsked(server);
    if (out >= 0 && asked) {
      const std::optional<SmbShareList> shares =
          ListSmbPrinterSharesHere(*asked, deadline);
      if (shares && WriteMessage(out, EncodeSmbShareMessage(*shares))) status = 0;
    }
  } catch (const RunFailure& failure) {
    if (out >= 0) WriteMessage(out, EncodeSmbFailureMessage(failure.reason));
  } catch (const std::bad_alloc&) {
    if (out >= 0) WriteMessage(out, EncodeSmbFailureMessage("out of memory"));
  } catch (...) {
  }
  _exit(status);
}

// A child of the starter's, and when it must have ended.
struct Child {
  pid_t pid;
  Deadline deadline;
};

void KillAndReap(const Child& child) {
  kill(child.pid, SIGKILL);
  while (waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// One request: the deadline (the steady clock is the machine's monotonic
// one, the same in every process) and the server's name; the pipe's end
// comes beside it.
struct Request {
  std::int64_t deadline_ticks;
  char server[kMostSmbRequestBytes];
};

// A request and room for the one descriptor beside it, as sendmsg and
// recvmsg take them.
struct RequestMessage {
  Request request;
  char control[CMSG_SPACE(sizeof(int))];
  iovec data;
  msghdr message;
};

void PointAtItself(RequestMessage& whole) {
  whole.data = {&whole.request, sizeof whole.request};
  whole.message.msg_iov = &whole.data;
  whole.message.msg_iovlen = 1;
  whole.message.msg_control = whole.control;
  whole.message.msg_controllen = sizeof whole.control;
}

// Takes one request; false once the program has closed its end.
bool TakeRequest(int socket, std::vector<Child>& children) {
  RequestMessage whole = {};
  PointAtItself(whole);
  Request& request = whole.request;
  msghdr& message = whole.message;
  const ssize_t got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0) return false;
  int out = -1;
  for (cmsghdr* part = CMSG_FIRSTHDR(&message); part != nullptr;
       part = CMSG_NXTHDR(&message, part)) {
    if (part->cmsg_level == SOL_SOCKET && part->cmsg_type == SCM_RIGHTS) {
      std::memcpy(&out, CMSG_DATA(part), sizeof out);
    }
  }
  if (out < 0) return true;
  if (static_cast<std::size_t>(got) != sizeof request) {
    close(out);
    return true;
  }
  request.server[kMostSmbRequestBytes - 1] = '\0';
  const Deadline deadline{Deadline::duration(request.deadline_ticks)};
  const pid_t pid = fork();
  if (pid == 0) {
    close(socket);
    ListInChild(request.server, deadline, out);
  }
  if (pid < 0) {
    WriteMessage(out, EncodeSmbFailureMessage(
                      MakeRunFailure("an SMB listing's process cannot start",
                                     std::strerror(errno)).reason));
  }
  close(out);
  if (pid > 0) children.push_back({pid, deadline});
  return true;
}

// The starter: one thread, forking a child per request, reaping each when
// it ends and killing it at its deadline, until the program closes the
// socket; then its children go too.
[[noreturn]] void RunStarter(int socket, pid_t program) {
  // Should the program end without closing the socket, this ends with it.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != program) _exit(0);
  signal(SIGPIPE, SIG_IGN);
  // Standard streams on /dev/null, for the starter and the children it
  // forks: libsmbclient writes its debug output to standard output.
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (null >= 0) dup2(null, fd);
  }
  if (null > STDERR_FILENO) close(null);
  std::vector<Child> children;
  for (;;) {
    for (auto child = children.begin(); child != children.end();) {
      const bool ended = waitpid(child->pid, nullptr, WNOHANG) == child->pid;
      const bool due = !ended && Now() >= child->deadline;
      if (due) KillAndReap(*child);
      child = ended || due ? children.erase(child) : child + 1;
    }
    int wait = children.empty() ? -1 : static_cast<int>(kSmbReapInterval.count());
    for (const Child& child : children) {
      wait = std::min(wait, std::max(1, MillisecondsLeft(child.deadline)));
    }
    pollfd requests = {socket, POLLIN, 0};
    if (poll(&requests, 1, wait) > 0 && !TakeRequest(socket, children)) break;
  }
  for (const Child& child : children) KillAndReap(child);
  close(socket);
  _exit(0);
}

}  // namespace

SmbStarter StartSmbStarter() {
  SmbStarter starter;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    return starter;
  }
  const pid_t program = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    // Nothing of the program's but the socket: no other descriptor of its
    // stays open in the starter or its children.
    close_range(STDERR_FILENO + 1, ends[1] - 1, 0);
    close_range(ends[1] + 1, ~0U, 0);
    RunStarter(ends[1], program);
  }
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    return starter;
  }
  starter.process = pid;
  starter.socket = ends[0];
  return starter;
}

void EndSmbStarter(SmbStarter& starter) {
  if (starter.process < 0) return;
  close(starter.socket);
  while (waitpid(starter.process, nullptr, 0) < 0 && errno == EINTR) {
  }
  starter.process = -1;
  starter.socket = -1;
}

bool AskSmbStarter(const SmbStarter& starter, const std::string& server,
                   Deadline deadline, int out) {
  if (starter.process < 0 || server.size() >= kMostSmbRequestBytes) return false;
  RequestMessage whole = {};
  PointAtItself(whole);
  whole.request.deadline_ticks = deadline.time_since_epoch().count();
  std::memcpy(whole.request.server, server.data(), server.size());
  msghdr& message = whole.message;
  cmsghdr* part = CMSG_FIRSTHDR(&message);
  part->cmsg_level = SOL_SOCKET;
  part->cmsg_type = SCM_RIGHTS;
  part->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(part), &out, sizeof out);
  for (;;) {
    const ssize_t sent = sendmsg(starter.socket, &message, MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(sizeof whole.request)) return true;
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN)) {
      throw MakeRunFailure(kSmbStarterEnded);
    }
    return false;
  }
}

bool HasSmbStarterEnded(const SmbStarter& starter) {
  if (starter.process < 0) return false;
  // The starter's end of the socket closes as it ends, before the children
  // it forked are killed with it: a listing's pipe cannot be seen closed by
  // the starter's end before the socket is.
  pollfd socket = {starter.socket, 0, 0};
  return poll(&socket, 1, 0) == 1 && (socket.revents & (POLLHUP | POLLERR)) != 0;
}
