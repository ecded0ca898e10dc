// One attempt at a server's share list through libsmbclient, loaded for it
// in the calling process.
#ifndef QUELVARO_SPOOLER_SMB_SMB_CLIENT_H
#define QUELVARO_SPOOLER_SMB_SMB_CLIENT_H

#include <optional>
#include <string>

#include "spooler/deadline.h"
#include "spooler/smb/smb_share_message.h"

// libsmbclient, loaded, with its configuration pointed at nothing; null when
// it is not installed. Throws RunFailure when it is installed but cannot be
// loaded. Never unloaded: the process ends when the listing does.
//
// Only for a process that has no other thread and will never list again:
// libsmbclient keeps its state in globals and, as Debian builds it, has no
// thread support; and this points Samba's configuration file at /dev/null
// and takes HOME, RANDFILE and Samba's PASSWD variables out of the
// environment, so that neither the machine's nor the user's smb.conf is
// read and no password is found. The attempts point its lock directory at
// none, so that no file is written but the user's credential cache, where
// the Kerberos library keeps the service ticket it gets for the server.
void* LoadSmbClient();

// Where a server is asked: a host (a name, or an address as libsmbclient
// takes it), and a port, 445 or NetBIOS's 139.
struct SmbWay {
  std::string host;
  int port;
};

// How an attempt ended.
enum SmbOutcome {
  kSmbListed,
  // No connection: refused, unreachable, or none accepted within the
  // connect bound.
  kSmbNotConnected,
  // Connected, then closed or reset by the server: what a server that
  // speaks no SMB2 does with a negotiate that offers SMB2 alone.
  kSmbDropped,
  // Anything else: no session, no IPC$, no pipe, no share list.
  kSmbRefused,
};

struct SmbAttempt {
  std::optional<SmbShareList> shares;  // the printer shares, when listed
  SmbOutcome outcome;
};

// One attempt, on a connection of its own: the printer shares, in the
// server's order, read from the server service (srvsvc NetShareEnumAll) over
// its pipe, names and comments whole. The negotiate offers SMB2 and newer,
// or with smb1 NT1 (SMB1) as well. The session is the user's Kerberos
// ticket's and nothing else (kerberos), or anonymous; never a password,
// never NTLM as the user. The connect is cut after the connect bound (3 s);
// each wait for an answer is bounded by the deadline (libsmbclient makes it
// a second at least), and so is nothing else: not the Kerberos library's
// exchanges with the user's KDC. The caller ends the process by the
// deadline.
SmbAttempt ListSmbSharesOnce(void* library, const SmbWay& way, bool smb1,
                             bool kerberos, Deadline deadline);

#endif  // QUELVARO_SPOOLER_SMB_SMB_CLIENT_H
