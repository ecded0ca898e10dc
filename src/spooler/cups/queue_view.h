// The request the run's one view of the CUPS server's queues is taken with,
// which every answer about the machine's own queues is made from.
#ifndef QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H
#define QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H

#include <string>

// One CUPS-Get-Printers for every queue (printers and classes) with the
// attributes of every level's records and of every scope's selection, asked
// by user. The answer, read by PrintersInAnswer, is the view: asked once per
// run (network_run.h), so the answers of a run agree with each other and
// the whole run costs the server one request.
std::string QueueViewRequest(const std::string& user);

#endif  // QUELVARO_SPOOLER_CUPS_QUEUE_VIEW_H
