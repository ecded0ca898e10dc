// The printer shares an SMB (Windows or Samba) print server lists to anyone.
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
// in an anonymous session: no user name, no password, nothing from the
// user's or the machine's Samba configuration.
// Empty optional when the server could not be listed: no answer, refused,
// wants a password, or the deadline passed. Returns by the deadline whatever
// the server does. Each call lists in a child process of its own (see
// smb_shares.cc), which it kills and reaps itself before it returns; nothing
// else in the program may reap children it did not start (waitpid(-1, ...)).
std::optional<std::vector<std::pair<std::string, std::string>>>
ListSmbPrinterShares(const std::string& server,
                     std::chrono::steady_clock::time_point deadline);

// The same for a caller's poll loop, many at once: StartSmbListing starts
// the child; ReadSmbListing takes what the child wrote once its pipe is
// readable, and says whether the listing is over (a whole message, or the
// child gone); EndSmbListing (whether over or not: at the deadline) kills and
// reaps the child and gives its shares. Every listing started must be ended.
struct SmbListing {
  pid_t child = -1;     // -1: none could be started
  int pipe = -1;        // the child's message comes through this
  std::string message;  // as far as it has come
};
SmbListing StartSmbListing(const std::string& server,
                           std::chrono::steady_clock::time_point deadline);
bool ReadSmbListing(SmbListing& listing);
std::optional<std::vector<std::pair<std::string, std::string>>>
EndSmbListing(SmbListing& listing);

#endif  // QUELVARO_SPOOLER_SMB_SMB_SHARES_H
