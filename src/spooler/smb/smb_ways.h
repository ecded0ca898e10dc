// The order in which one server is asked: its addresses, its ports, the
// dialects offered, the credentials.
#ifndef QUELVARO_SPOOLER_SMB_SMB_WAYS_H
#define QUELVARO_SPOOLER_SMB_SMB_WAYS_H

#include <optional>

#include "spooler/deadline.h"
#include "spooler/smb/smb_address.h"
#include "spooler/smb/smb_share_message.h"

// The printer shares the server lists, in the server's order; empty
// optional when it cannot be listed by the deadline. Each attempt is one
// connection (smb_client.h):
// - port 445 on each of the server's hosts in turn, then NetBIOS's 139 on
//   each, moving on where a connection is refused or not accepted within
//   the connect bound; never 139 first;
// - a negotiate that offers SMB2 and newer; where the server drops it (as a
//   server that speaks only SMB1 does), the same again offering NT1 as well,
//   so that only a server that speaks nothing newer is asked over SMB1;
// - a server asked by name with the user's Kerberos ticket, then, where
//   there is none, none for this server, or the server refused it,
//   anonymously; one asked by address anonymously.
// What the first credentials found (the way in, the dialect) holds for the
// next. A server that lists at once over SMB2 on 445 costs one connection
// and one negotiate, as it did before.
//
// Only for a process that has no other thread and will never list again
// (smb_client.h), and that ends by the deadline.
std::optional<SmbShareList> ListSmbPrinterSharesHere(
    const SmbServerToAsk& server, Deadline deadline);

#endif  // QUELVARO_SPOOLER_SMB_SMB_WAYS_H
