// The record names every benchmark lists.
#ifndef QUELVARO_BENCH_BENCH_NAMES_H
#define QUELVARO_BENCH_BENCH_NAMES_H

#include <cstddef>
#include <string>

// The name of the k-th record: a queue name of the usual length with one
// character outside ASCII, unique for every k.
std::wstring BenchRecordName(std::size_t k);

#endif  // QUELVARO_BENCH_BENCH_NAMES_H
