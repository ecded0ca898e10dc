// A spooler for the benchmarks: EnumPrintersW answers a listing of generated
// names, laid out as the platform lays it out (records first, their strings
// after them), and does as little else as it can, so that what is timed is
// the listing and its output rather than the spooler.
#ifndef QUELVARO_BENCH_BENCH_SPOOLER_H
#define QUELVARO_BENCH_BENCH_SPOOLER_H

#include <cstddef>

#include "bench_names.h"
#include "spooler/spooler.h"

// From now on every request with a null Name answers records records (named
// by BenchRecordName), at any flags and level. With by_name, a by-name request at level 1 answers one
// record carrying the name asked for; without it, by-name requests report
// needed 0.
void ScriptBenchSpooler(std::size_t records, bool by_name);

#endif  // QUELVARO_BENCH_BENCH_SPOOLER_H
