// What the tests' scripted spooler costs a listing, to set beside
// TimeSpoolerCalls in listing_bench (the bench spooler): the same calls, the
// same records and names, no output.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_names.h"
#include "scripted_spooler.h"
#include "spooler_calls.h"

namespace {

const DWORD kLevel = 2;
const DWORD kFlags = PRINTER_ENUM_LOCAL;

void ScriptListing(std::size_t records, bool by_name) {
  ResetSpooler();
  std::vector<ScriptedName> names;
  for (std::size_t k = 0; k < records; ++k) {
    names.push_back(Named(BenchRecordName(k)));
    if (by_name) {
      const std::wstring name = BenchRecordName(k);
      ScriptAnswer(PRINTER_ENUM_NAME, name.c_str(), 1, Records({Named(name)}));
    }
  }
  ScriptAnswer(kFlags, nullptr, kLevel, Records(names));
}

void TimeScriptedSpoolerCalls(benchmark::State& state) {
  const std::size_t records = static_cast<std::size_t>(state.range(0));
  const bool by_name = state.range(1) != 0;
  const DWORD expected = static_cast<DWORD>(records * (by_name ? 2 : 1));
  for (auto _ : state) {
    // The spooler keeps a log of every call; start each listing afresh.
    state.PauseTiming();
    ScriptListing(records, by_name);
    state.ResumeTiming();
    if (CallSpoolerAsListing(kLevel, kFlags) != expected) {
      state.SkipWithError("the spooler did not answer the scripted records");
      break;
    }
  }
  state.counters["per_entry"] = benchmark::Counter(
      static_cast<double>(records), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(TimeScriptedSpoolerCalls)
    ->ArgsProduct({{10, 1000, 100000}, {0, 1}})
    ->ArgNames({"records", "by_name"})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
