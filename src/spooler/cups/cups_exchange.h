// One IPP request to the CUPS server, and the answer to it.
#ifndef QUELVARO_SPOOLER_CUPS_CUPS_EXCHANGE_H
#define QUELVARO_SPOOLER_CUPS_CUPS_EXCHANGE_H

#include <cups/cups.h>

#include <memory>

// An IPP message owned by the code that holds it.
using IppMessage = std::unique_ptr<ipp_t, decltype(&ippDelete)>;

// Sends request to the server that libcups' own client configuration names
// (the one lpstat talks to), on a connection of its own and as one HTTP POST,
// and reads the answer. Empty when the server does not answer with an IPP
// message. Once the server has failed to answer at all (no connection, no
// reply in time, a reply cut off), every later call in this process is
// empty at once and nothing more is sent.
IppMessage AskCupsServer(ipp_t* request);

#endif  // QUELVARO_SPOOLER_CUPS_CUPS_EXCHANGE_H
