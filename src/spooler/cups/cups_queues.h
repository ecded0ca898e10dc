// The IPP query behind every answer: the server's queues, with the
// attributes a request names.
#ifndef QUELVARO_SPOOLER_CUPS_CUPS_QUEUES_H
#define QUELVARO_SPOOLER_CUPS_CUPS_QUEUES_H

#include <cups/cups.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

// One queue's attributes by name, as text: strings as the server sent them
// (UTF-8), integers and enums in decimal, booleans "true" or "false". An
// attribute the server did not send is absent.
using CupsQueue = std::map<std::string, std::string>;

// Asks the server, with one CUPS-Get-Printers request, for its queues
// (printers and classes) in the server's order, each with the named
// attributes only; at most limit queues, or all of them when limit is 0.
// Empty when no IPP answer came; no queues when the answer is an IPP error
// (a server without queues answers "not found").
std::optional<std::vector<CupsQueue>> AskCupsQueues(
    const std::vector<std::string>& attributes, int limit);

// The queues in a CUPS-Get-Printers response: one per printer group.
std::vector<CupsQueue> QueuesInResponse(ipp_t* response);

#endif  // QUELVARO_SPOOLER_CUPS_CUPS_QUEUES_H
