// One listing through libsmbclient, loaded for it in the calling process.
#ifndef QUELVARO_SPOOLER_SMB_SMB_CLIENT_H
#define QUELVARO_SPOOLER_SMB_SMB_CLIENT_H

#include <optional>

#include "spooler/smb/smb_address.h"
#include "spooler/smb/smb_share_message.h"

// The printer shares the server lists on port 445, in the server's order,
// read from its server service (srvsvc NetShareEnumAll) over its pipe, names
// and comments whole; empty optional when it cannot be listed. A server asked by name is asked
// with the user's Kerberos ticket where there is one for it, else
// anonymously; one asked by address anonymously. Never with a password, and
// never with NTLM as the user. timeout_milliseconds bounds each wait for the
// server's answer to one request (libsmbclient makes it a second at least),
// not the whole listing, not the connect, which libsmbclient gives up after
// 5 seconds of its own, and not the Kerberos library's exchanges with the
// user's KDC.
//
// Only for a process that has no other thread and will never list again:
// libsmbclient keeps its state in globals and, as Debian builds it, has no
// thread support; and this points Samba's configuration file at /dev/null
// and its lock directory at none, and takes HOME, RANDFILE and Samba's
// PASSWD variables out of the environment, so that neither the machine's nor
// the user's smb.conf is read, no password is found, and no file is written
// but the user's credential cache, where the Kerberos library keeps the
// service ticket it gets for the server.
std::optional<SmbShareList> ListSmbPrinterSharesHere(
    const SmbServerToAsk& server, int timeout_milliseconds);

#endif  // QUELVARO_SPOOLER_SMB_SMB_CLIENT_H
