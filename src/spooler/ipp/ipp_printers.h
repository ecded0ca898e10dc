// Printers as IPP answers describe them (a CUPS server's CUPS-Get-Printers,
// a printer's Get-Printer-Attributes), as the records show them.
#ifndef QUELVARO_SPOOLER_IPP_IPP_PRINTERS_H
#define QUELVARO_SPOOLER_IPP_IPP_PRINTERS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spooler/printer_records.h"

// The printer attributes the records are made from and the scopes select
// by, as a request names them, and nothing more.
std::vector<std::string> PrinterAttributeNames();

// One record per printer group of the answer, in order, each attribute read
// only in the value types the standard gives it:
//   level 1   Flags: the printer icon; pName: printer-name; pDescription:
//             "name,make-and-model,location"; pComment: printer-info
//   level 2   pPrinterName, pComment, pLocation and pDriverName (make and
//             model) likewise; pPortName: device-uri without user name or
//             password; pServerName: "\\" and the host a remote queue
//             prints to; pShareName: the name, when shared; Attributes:
//             LOCAL or NETWORK (remote), SHARED, DEFAULT; Status: PRINTING
//             while processing, PAUSED when stopped; cJobs: queued jobs
// No printers when the answer's status is not a success (a CUPS server
// without queues answers "not found"); none at all when the answer is not a
// well-formed IPP message.
std::optional<PrinterList> PrintersInAnswer(std::string_view answer);

// What the scopes select queues by: a remote queue (printer-type's remote
// bit) has the NETWORK attribute; a shared one has SHARED.
bool IsRemotePrinter(const PrinterRecord& printer);
bool IsSharedPrinter(const PrinterRecord& printer);

#endif  // QUELVARO_SPOOLER_IPP_IPP_PRINTERS_H
