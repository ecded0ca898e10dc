// The report run: banner, the six scopes at levels 1, 2, 4 and 5, the
// closing lines and the wait for Enter.
#ifndef QUELVARO_REPORT_REPORT_H
#define QUELVARO_REPORT_REPORT_H

#include "spooler/spooler.h"

// Writes the level headings of one scope, each followed by its listing, then
// a blank line.
void ListAllLevels(DWORD flags);

// The whole run, from the banner to the wait for one character of input.
void RunReport();

// Whether every line of the run reached its output: neither output stream
// has failed (the streams' states are read, never cleared).
bool ReportWritten();

#endif  // QUELVARO_REPORT_REPORT_H
