// The printer shares an SMB (Windows or Samba) print server lists to the
// user's Kerberos ticket, or to anyone.
#ifndef QUELVARO_SPOOLER_SMB_SMB_SHARES_H
#define QUELVARO_SPOOLER_SMB_SMB_SHARES_H

#include <optional>
#include <string>

#include "spooler/deadline.h"
#include "spooler/smb/smb_share_message.h"
#include "spooler/smb/smb_starter.h"

// One listing of the printer shares of the SMB server `server` (a host name
// or address, as written in an smb:// URI, without workgroup, user or
// share), in the order the server lists them, in UTF-8, names and comments
// whole. Asked on port 445, else 139, over SMB2 or newer, else, for a server
// that speaks nothing newer, SMB1 (see smb_ways.h): a server named by its
// host name with the ticket of the user's Kerberos credential cache where it
// has one for it, else, and a server named by its address, in an anonymous
// session; never with a password, never with NTLM as the user, and with
// nothing from the user's or the machine's Samba configuration. It runs in a
// child process that the starter forks for it and ends by the deadline,
// whatever the server does; the caller's loop reads its pipe:
//   StartSmbListing  has the starter start it
//   ReadSmbListing   takes what the child wrote, once the pipe is readable;
//                    true once the listing is over (a whole message, or the
//                    child gone)
//   EndSmbListing    (whether over or not: at the deadline) closes the pipe
//                    and gives the shares; none when the server could not
//                    be listed (no answer, refused, wants a password, the
//                    deadline passed). Throws RunFailure (run_failure.h)
//                    when the listing could not run: libsmbclient installed
//                    but not loadable, no process to list in, no memory,
//                    the starter ended with nothing said
// Every listing started must be ended.
struct SmbListing {
  int pipe = -1;        // -1: none could be started
  std::string message;  // as far as it has come
  SmbStarter starter;   // the one that started it
};
SmbListing StartSmbListing(const SmbStarter& starter, const std::string& server,
                           Deadline deadline);
bool ReadSmbListing(SmbListing& listing);
std::optional<SmbShareList> EndSmbListing(SmbListing& listing);

// The same, waited for.
std::optional<SmbShareList> ListSmbPrinterShares(
    const SmbStarter& starter, const std::string& server,
    Deadline deadline);

#endif  // QUELVARO_SPOOLER_SMB_SMB_SHARES_H
