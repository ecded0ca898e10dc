// The run's one view of the server's queues, which every answer of the CUPS
// spooler is made from.
#ifndef QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H
#define QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H

#include <optional>
#include <string>
#include <vector>

#include "spooler/cups/cups_queues.h"

// What the view asks for: the attributes of every level's records (remote
// queues' included) and those the scopes select queues by, each once.
std::vector<std::string> ViewAttributes();

// The server's queues as one CUPS-Get-Printers request answered them the
// first time this was called in the process; none when no IPP answer came
// then. Later calls return the same view and ask nothing, so the answers of
// a run agree with each other (a filling call finds what its sizing call
// measured, every scope and level shows the same queues) and the whole run
// costs the server one request. A queue added or removed meanwhile shows in
// the next run.
const std::optional<std::vector<CupsQueue>>& CupsQueueView();

#endif  // QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H
