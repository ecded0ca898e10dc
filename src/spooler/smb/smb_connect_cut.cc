// The timer is SIGALRM's; its handler makes system calls only, and tells
// what it did through the one flag a handler may set.
#include "spooler/smb/smb_connect_cut.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

#include "spooler/run_limits.h"

namespace {

volatile sig_atomic_t g_cut = 0;

// The TCP state of fd (TCP_ESTABLISHED, TCP_SYN_SENT, ...); -1 for anything
// that is no TCP socket.
int TcpState(int fd) {
  tcp_info info;
  socklen_t size = sizeof info;
  if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return -1;
  return info.tcpi_state;
}

void CutConnects(int) {
  const int saved_errno = errno;
  bool established = false;
  for (int fd = 0; fd < kMostListingDescriptors && !established; ++fd) {
    established = TcpState(fd) == TCP_ESTABLISHED;
  }
  for (int fd = 0; fd < kMostListingDescriptors && !established; ++fd) {
    if (TcpState(fd) == TCP_SYN_SENT && shutdown(fd, SHUT_RDWR) == 0) {
      g_cut = 1;
    }
  }
  errno = saved_errno;
}

void SetTimer(int milliseconds) {
  itimerval timer = {};
  timer.it_value.tv_sec = milliseconds / 1000;
  timer.it_value.tv_usec = milliseconds % 1000 * 1000;
  setitimer(ITIMER_REAL, &timer, nullptr);
}

}  // namespace

struct sigaction StartConnectCut(int milliseconds) {
  g_cut = 0;
  struct sigaction action = {};
  action.sa_handler = &CutConnects;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  struct sigaction previous = {};
  sigaction(SIGALRM, &action, &previous);
  SetTimer(milliseconds > 0 ? milliseconds : 1);
  return previous;
}

bool EndConnectCut(const struct sigaction& previous) {
  SetTimer(0);
  sigaction(SIGALRM, &previous, nullptr);
  return g_cut != 0;
}
