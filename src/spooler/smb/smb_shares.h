// The printer shares an SMB (Windows or Samba) print server lists to the
// user's Kerberos ticket, or to anyone.
#ifndef QUELVARO_SPOOLER_SMB_SMB_SHARES_H
#define QUELVARO_SPOOLER_SMB_SMB_SHARES_H

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The printer shares of the SMB server `server` (a host name or address, as
// written in an smb:// URI, without workgroup, user or share), in the order
// the server lists them, as (share name, comment) in UTF-8. Asked on port 445
// (see smb_client.h): a server named by its host name with the ticket of the
// user's Kerberos credential cache where it has one for it, else, and a
// server named by its address, in an anonymous session; never with a
// password, never with NTLM as the user, and with nothing from the user's or
// the machine's Samba configuration.
// Empty optional when the server could not be listed: no answer, refused,
// wants a password, or the deadline passed. Returns by the deadline whatever
// the server does. Each call lists in a child process of its own (see
// smb_shares.cc), which it kills and reaps itself before it returns; nothing
// else in the program may reap children it did not start (waitpid(-1, ...)).
std::optional<std::vector<std::pair<std::string, std::string>>>
ListSmbPrinterShares(const std::string& server,
                     std::chrono::steady_clock::time_point deadline);

// The same in two steps, so that the child can be started while the process
// has no other thread (a thread that holds a lock of the C library, the
// resolver's say, at the fork would leave the child waiting for it until
// the deadline): StartSmbListing starts the child, FinishSmbListing waits
// for its shares by the deadline, then kills and reaps it. Every listing
// started must be finished.
using SmbListing = std::pair<pid_t, int>;  // the child, and its pipe
SmbListing StartSmbListing(const std::string& server,
                           std::chrono::steady_clock::time_point deadline);
std::optional<std::vector<std::pair<std::string, std::string>>>
FinishSmbListing(SmbListing listing,
                 std::chrono::steady_clock::time_point deadline);

#endif  // QUELVARO_SPOOLER_SMB_SMB_SHARES_H
