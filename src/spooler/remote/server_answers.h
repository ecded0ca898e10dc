// What the run's print servers answer, each asked once, all side by side.
#ifndef QUELVARO_SPOOLER_REMOTE_SERVER_ANSWERS_H
#define QUELVARO_SPOOLER_REMOTE_SERVER_ANSWERS_H

#include <string>
#include <vector>

#include "spooler/printer_records.h"
#include "spooler/remote/known_servers.h"

// The printers of the run's server by that name, as it answered;
// null for a name that is no server of the run's, or the machine's own
// server (the run's view answers for that). At the first call every
// server of the run is asked, side by side and by one deadline, so that
// servers that do not answer cost a run their bound once, however many
// there are; later calls wait for the answer they need, at most until that
// deadline. A server is asked by its URIs: an IPP host CUPS-Get-Printers
// (a CUPS server's queues), else, for a printer that is no CUPS server,
// Get-Printer-Attributes at each of its printer URIs (the printer itself);
// an SMB server for its printer shares, anonymously.
const PrinterList* ServerPrinters(const std::wstring& name);

#endif  // QUELVARO_SPOOLER_REMOTE_SERVER_ANSWERS_H
