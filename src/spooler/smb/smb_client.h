// One listing through libsmbclient, loaded for it in the calling process.
#ifndef QUELVARO_SPOOLER_SMB_SMB_CLIENT_H
#define QUELVARO_SPOOLER_SMB_SMB_CLIENT_H

#include <optional>
#include <string>

#include "spooler/smb/smb_share_message.h"

// The printer shares the server at address (as SmbNumericAddress gives it)
// lists on port 445 in an anonymous session, in the server's order; empty
// optional when it cannot be listed. timeout_milliseconds bounds each wait
// for the server's answer to one request (libsmbclient makes it a second at
// least), not the whole listing, and not the connect, which libsmbclient
// gives up after 5 seconds of its own.
//
// Only for a process that has no other thread and will never list again:
// libsmbclient keeps its state in globals and, as Debian builds it, has no
// thread support; and this points Samba's configuration file at /dev/null
// and takes HOME and RANDFILE out of the environment, so that neither the
// machine's nor the user's smb.conf is read and no file of the user's is
// written.
std::optional<SmbShareList> ListSmbPrinterSharesHere(
    const std::string& address, int timeout_milliseconds);

#endif  // QUELVARO_SPOOLER_SMB_SMB_CLIENT_H
