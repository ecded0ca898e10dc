// What the run's print servers answer, each asked once, all side by side.
#ifndef QUELVARO_SPOOLER_REMOTE_SERVER_ANSWERS_H
#define QUELVARO_SPOOLER_REMOTE_SERVER_ANSWERS_H

#include <string>
#include <vector>

#include "spooler/ipp/connect_socket.h"
#include "spooler/printer_records.h"
#include "spooler/remote/known_servers.h"

// Asks one server by each of its URIs in turn, all by the deadline:
//   an IPP host   CUPS-Get-Printers; a CUPS server answers with its queues,
//                 and that is the whole answer from that host. Any other
//                 printer is asked for itself (Get-Printer-Attributes at
//                 each of its printer URIs).
//   "smb://"      its printer shares, asked anonymously.
// A server that does not answer in time gives what it gave by then.
PrinterList AskServer(const KnownServer& server, Deadline deadline);

// The printers of the run's server by that name, as AskServer answered;
// null for a name that is no server of the run's, or the machine's own
// server (the run's view answers for that). At the first call every
// server of the run is asked, side by side and by one deadline, so that
// servers that do not answer cost a run their bound once, however many
// there are; later calls wait for the answer they need, at most until that
// deadline.
const PrinterList* ServerPrinters(const std::wstring& name);

#endif  // QUELVARO_SPOOLER_REMOTE_SERVER_ANSWERS_H
