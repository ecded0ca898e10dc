// The run's one view of the CUPS server's queues, which every answer about
// the machine's own queues is made from.
#ifndef QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H
#define QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H

#include <optional>

#include "spooler/printer_records.h"

// The server's queues (printers and classes), in the server's order, as one
// CUPS-Get-Printers request answered them the first time this was called in
// the process; none when no IPP answer came then. Later calls return the same
// view and ask nothing, so the answers of a run agree with each other (a
// filling call finds what its sizing call measured, every scope and level
// shows the same queues) and the whole run costs the server one request.
const std::optional<PrinterList>& CupsQueueView();

#endif  // QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H
