// The cost of one listing as the program writes it: ListPrinters over the
// bench spooler, through wcout, the wide output and cout's buffer onto file
// descriptor 1, with endl (newline and flush) after every line; beneath it
// the same lines through the output path alone, the same bytes through cout's
// buffer alone, and the floor: the same bytes with one write(2) per line.
//
// Arguments: records (10, 1,000 or 100,000) and by_name (whether each entry's
// by-name enumeration answers, which adds one nested line per entry).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_spooler.h"
#include "fd_sink.h"
#include "spooler_calls.h"
#include "listing/listing.h"
#include "report/wide_output.h"

namespace {

const DWORD kLevel = 2;
const DWORD kFlags = PRINTER_ENUM_LOCAL;

// The lines one listing writes, each with its newline, taken through the
// program's own wide output. Empty when they are not what the script asks
// for: an entry line per record, a nested line per entry with by_name, and
// the total line.
std::vector<std::string> ListingLines(std::size_t records, bool by_name) {
  std::stringbuf bytes;
  {
    WideOutputBuf wide(&bytes);
    std::wstreambuf* const previous = std::wcout.rdbuf(&wide);
    ListPrinters(kLevel, kFlags);
    std::wcout.rdbuf(previous);
  }
  std::vector<std::string> lines;
  std::istringstream in(bytes.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");

  const std::size_t expected = records * (by_name ? 2 : 1) + 1;
  const std::string total = "= TOTAL: " + std::to_string(records) + "\n";
  if (lines.size() != expected || lines.back() != total) return {};
  return lines;
}

std::size_t ByteCount(const std::vector<std::string>& lines) {
  std::size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size();
  return bytes;
}

// Sets up the script and the sink; false (the benchmark skipped) when either
// fails.
bool Prepare(benchmark::State& state, SinkKind kind,
             std::vector<std::string>& lines, Sink& sink) {
  const std::size_t records = static_cast<std::size_t>(state.range(0));
  const bool by_name = state.range(1) != 0;
  ScriptBenchSpooler(records, by_name);
  lines = ListingLines(records, by_name);
  if (lines.empty()) {
    state.SkipWithError("the listing's lines are not the scripted ones");
    return false;
  }
  if (!OpenSink(kind, sink)) {
    state.SkipWithError("cannot open the sink");
    return false;
  }
  return true;
}

// Closes the sink and reports the figures: time per line, per entry, and the
// byte rate. A pipe that did not receive every byte fails the benchmark.
void Finish(benchmark::State& state, SinkKind kind,
            const std::vector<std::string>& lines, Sink& sink) {
  CloseSink(sink);
  const std::size_t bytes = ByteCount(lines);
  if (kind == SinkKind::kPipe && sink.drained != bytes * state.iterations()) {
    state.SkipWithError("the pipe did not receive the listing's bytes");
    return;
  }
  const double entries = static_cast<double>(state.range(0));
  const auto per = benchmark::Counter::kIsIterationInvariantRate |
                   benchmark::Counter::kInvert;
  state.counters["lines"] = static_cast<double>(lines.size());
  state.counters["per_line"] =
      benchmark::Counter(static_cast<double>(lines.size()), per);
  state.counters["per_entry"] = benchmark::Counter(entries, per);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}

// The program's output path, as its entry sets it up, for the time one
// benchmark runs: file descriptor 1 on the sink, wcout through the wide
// output into cout's buffer.
struct ProgramOutput {
  int saved = -1;
  std::unique_ptr<WideOutputBuf> wide;
  std::wstreambuf* previous = nullptr;
};

bool OpenProgramOutput(benchmark::State& state, Sink& sink,
                       ProgramOutput& output) {
  output.saved = RedirectStdout(sink.fd);
  if (output.saved < 0) {
    CloseSink(sink);
    state.SkipWithError("cannot redirect standard output");
    return false;
  }
  output.wide = std::make_unique<WideOutputBuf>(std::cout.rdbuf());
  output.previous = std::wcout.rdbuf(output.wide.get());
  return true;
}

// Puts everything back; false (the benchmark failed) when a stream failed.
bool CloseProgramOutput(benchmark::State& state, Sink& sink,
                        ProgramOutput& output) {
  const bool good = std::wcout.good() && std::cout.good();
  std::wcout.rdbuf(output.previous);
  output.wide.reset();
  RestoreStdout(output.saved);
  if (!good) {
    CloseSink(sink);
    state.SkipWithError("writing the lines failed");
  }
  return good;
}

void TimeListPrinters(benchmark::State& state, SinkKind kind) {
  std::vector<std::string> lines;
  Sink sink;
  ProgramOutput output;
  if (!Prepare(state, kind, lines, sink)) return;
  if (!OpenProgramOutput(state, sink, output)) return;
  for (auto _ : state) ListPrinters(kLevel, kFlags);
  if (!CloseProgramOutput(state, sink, output)) return;
  Finish(state, kind, lines, sink);
}

// The listing's lines as ListPrinters and ListByName insert them: a marker
// and a name, the total last.
struct WideLine {
  const char* marker;
  std::wstring name;
};

std::vector<WideLine> ListingWideLines(std::size_t records, bool by_name) {
  std::vector<WideLine> lines;
  for (std::size_t k = 0; k < records; ++k) {
    lines.push_back({"- ", BenchRecordName(k)});
    if (by_name) lines.push_back({"--> ", BenchRecordName(k)});
  }
  return lines;
}

// The same lines through the same output path, without the spooler and the
// names' copies: what the wide stream and its encoding cost.
void TimeWideOutputPerLine(benchmark::State& state, SinkKind kind) {
  std::vector<std::string> lines;
  Sink sink;
  ProgramOutput output;
  if (!Prepare(state, kind, lines, sink)) return;
  const std::size_t records = static_cast<std::size_t>(state.range(0));
  const std::vector<WideLine> wide_lines =
      ListingWideLines(records, state.range(1) != 0);
  if (!OpenProgramOutput(state, sink, output)) return;
  for (auto _ : state) {
    for (const WideLine& line : wide_lines) {
      std::wcout << line.marker << line.name << std::endl;
    }
    std::wcout << "= TOTAL: " << records << std::endl;
  }
  if (!CloseProgramOutput(state, sink, output)) return;
  Finish(state, kind, lines, sink);
}

// The finished bytes of each line handed to cout's buffer and flushed, as
// the wide output does: what the narrow stream buffer and stdio cost.
void TimeNarrowBufferPerLine(benchmark::State& state, SinkKind kind) {
  std::vector<std::string> lines;
  Sink sink;
  ProgramOutput output;
  if (!Prepare(state, kind, lines, sink)) return;
  if (!OpenProgramOutput(state, sink, output)) return;
  std::streambuf* const bytes = std::cout.rdbuf();
  bool good = true;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      const std::streamsize size = static_cast<std::streamsize>(line.size());
      good &= bytes->sputn(line.data(), size) == size && bytes->pubsync() == 0;
    }
  }
  if (!CloseProgramOutput(state, sink, output)) return;
  if (!good) {
    CloseSink(sink);
    state.SkipWithError("writing the lines failed");
    return;
  }
  Finish(state, kind, lines, sink);
}

// The floor: the same bytes, one write(2) per line.
void TimeWritePerLine(benchmark::State& state, SinkKind kind) {
  std::vector<std::string> lines;
  Sink sink;
  if (!Prepare(state, kind, lines, sink)) return;

  bool good = true;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      good &= write(sink.fd, line.data(), line.size()) ==
              static_cast<ssize_t>(line.size());
    }
  }
  if (!good) {
    CloseSink(sink);
    state.SkipWithError("write(2) failed");
    return;
  }
  Finish(state, kind, lines, sink);
}

// The spooler's share: the listing's spooler calls alone, no output. Set
// beside TimeScriptedSpoolerCalls (scripted_spooler_bench).
void TimeSpoolerCalls(benchmark::State& state) {
  const std::size_t records = static_cast<std::size_t>(state.range(0));
  const bool by_name = state.range(1) != 0;
  const DWORD expected = static_cast<DWORD>(records * (by_name ? 2 : 1));
  ScriptBenchSpooler(records, by_name);
  for (auto _ : state) {
    if (CallSpoolerAsListing(kLevel, kFlags) != expected) {
      state.SkipWithError("the spooler did not answer the scripted records");
      break;
    }
  }
  state.counters["per_entry"] = benchmark::Counter(
      static_cast<double>(records), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgsProduct({{10, 1000, 100000}, {0, 1}})->ArgNames({"records", "by_name"});
  b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

}  // namespace

// For each sink: the listing, then the layers beneath it down to the floor.
BENCHMARK_CAPTURE(TimeListPrinters, devnull, SinkKind::kDevNull)->Apply(Sizes);
BENCHMARK_CAPTURE(TimeWideOutputPerLine, devnull, SinkKind::kDevNull)->Apply(Sizes);
BENCHMARK_CAPTURE(TimeNarrowBufferPerLine, devnull, SinkKind::kDevNull)->Apply(Sizes);
BENCHMARK_CAPTURE(TimeWritePerLine, devnull, SinkKind::kDevNull)->Apply(Sizes);
BENCHMARK_CAPTURE(TimeListPrinters, pipe, SinkKind::kPipe)->Apply(Sizes);
BENCHMARK_CAPTURE(TimeWideOutputPerLine, pipe, SinkKind::kPipe)->Apply(Sizes);
BENCHMARK_CAPTURE(TimeNarrowBufferPerLine, pipe, SinkKind::kPipe)->Apply(Sizes);
BENCHMARK_CAPTURE(TimeWritePerLine, pipe, SinkKind::kPipe)->Apply(Sizes);

BENCHMARK(TimeSpoolerCalls)->Apply(Sizes);

BENCHMARK_MAIN();
