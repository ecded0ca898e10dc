// A bound on libsmbclient's connect. libsmbclient waits 5 seconds for a TCP
// connect to be accepted, whatever its timeout says, and a server's whole
// bound is 5 seconds: a port that never answers would leave no time to try
// the next. So a timer cuts, at the connect bound, a connect still under way.
#ifndef QUELVARO_SPOOLER_SMB_SMB_CONNECT_CUT_H
#define QUELVARO_SPOOLER_SMB_SMB_CONNECT_CUT_H

#include <signal.h>

// Starts the timer: in `milliseconds`, every TCP connect of the process
// still under way is cut short (Linux ends a socket's connect when the socket
// is shut down; libsmbclient then sees it reset), unless the process has an
// established TCP connection by then. That one is the server's, and a
// connect under way beside it is someone else's (the Kerberos library's, to
// a KDC), which is left alone. Only for a process with one thread, which
// spends the time in libsmbclient. Returns SIGALRM's action before, for
// EndConnectCut to put back.
struct sigaction StartConnectCut(int milliseconds);

// Stops the timer and puts SIGALRM's `previous` action back; whether the
// timer cut a connect.
bool EndConnectCut(const struct sigaction& previous);

#endif  // QUELVARO_SPOOLER_SMB_SMB_CONNECT_CUT_H
