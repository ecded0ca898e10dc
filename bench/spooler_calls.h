// The spooler calls of one listing without its output: what a spooler costs
// a listing, to weigh one spooler against another.
#ifndef QUELVARO_BENCH_SPOOLER_CALLS_H
#define QUELVARO_BENCH_SPOOLER_CALLS_H

#include "spooler/spooler.h"

// Sizes and fills the listing's block, then sizes and fills the by-name
// block of every record's name, as ListPrinters and ListByName do. Returns
// the number of records listed and nested.
DWORD CallSpoolerAsListing(DWORD level, DWORD flags);

#endif  // QUELVARO_BENCH_SPOOLER_CALLS_H
