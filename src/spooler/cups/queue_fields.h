// What a CUPS queue's attributes mean in the platform's printer records.
#ifndef QUELVARO_SPOOLER_CUPS_QUEUE_FIELDS_H
#define QUELVARO_SPOOLER_CUPS_QUEUE_FIELDS_H

#include <optional>
#include <string>

#include "spooler/cups/cups_queues.h"
#include "spooler/spooler.h"

// A queue that points at another server: printer-type has the remote bit.
bool IsRemoteQueue(const CupsQueue& queue);

// printer-is-shared is true.
bool IsSharedQueue(const CupsQueue& queue);

// A text attribute as wide text; none when the server did not send it.
std::optional<std::wstring> QueueText(const CupsQueue& queue,
                                      const std::string& attribute);

// printer-name; empty when the server did not send one.
std::wstring QueueName(const CupsQueue& queue);

// The platform's description form: "name,make-and-model,location", with an
// empty part for an attribute the server did not send.
std::wstring QueueDescription(const CupsQueue& queue);

// The share name: the queue's name when it is shared, none otherwise.
std::optional<std::wstring> QueueShareName(const CupsQueue& queue);

// The port: the device URI without user name or password.
std::optional<std::wstring> QueuePort(const CupsQueue& queue);

// The server a remote queue points at, as "\\host" (from its device URI,
// without credentials or port); none for a local queue.
std::optional<std::wstring> QueueServer(const CupsQueue& queue);

// PRINTER_ATTRIBUTE_ bits: LOCAL or NETWORK (remote), SHARED, DEFAULT (the
// server's default destination).
DWORD QueueAttributes(const CupsQueue& queue);

// PRINTER_STATUS_ bits from printer-state: 0 when idle, PRINTING while
// processing, PAUSED when stopped.
DWORD QueueStatus(const CupsQueue& queue);

// queued-job-count; 0 when absent.
DWORD QueueJobs(const CupsQueue& queue);

#endif  // QUELVARO_SPOOLER_CUPS_QUEUE_FIELDS_H
