// The platform's record layout: the records of one answer at the start of
// the caller's block, one after another, and the strings they point to after
// the last record, each ended by a null character.
#ifndef QUELVARO_SPOOLER_CUPS_PRINTER_RECORDS_H
#define QUELVARO_SPOOLER_CUPS_PRINTER_RECORDS_H

#include <string>
#include <vector>

#include "spooler/cups/cups_queues.h"
#include "spooler/spooler.h"

// Whether the level has a record type here: 1, 2, 4 or 5.
bool IsRecordLevel(DWORD level);

// The queue attributes the records of the level are made from, and nothing
// more. device-uri gives a remote queue its server at level 4, so it is
// asked for there only when remote queues may be listed.
std::vector<std::string> RecordAttributes(DWORD level, bool remote_queues);

// One record per queue at the level. Returns the exact size in bytes, records
// and strings. When buffer holds at least that (cbBuf), fills it and stores
// the number of records in returned; otherwise writes nothing and stores 0.
// A size beyond what a DWORD can hold is reported as 0, with nothing written.
DWORD LayOutQueues(DWORD level, const std::vector<CupsQueue>& queues,
                   LPBYTE buffer, DWORD cbBuf, DWORD& returned);

// The one level-1 record of the print server whose "\\" name is given, laid
// out in the same way.
DWORD LayOutServer(const std::wstring& name, LPBYTE buffer, DWORD cbBuf,
                   DWORD& returned);

#endif  // QUELVARO_SPOOLER_CUPS_PRINTER_RECORDS_H
