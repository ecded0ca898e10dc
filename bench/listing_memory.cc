// Peak memory of one listing: how far the resident set's high-water mark
// rises while ListPrinters lists the bench spooler's records, written as the
// program writes them (to /dev/null), against the block the listing needs.
//
//   listing_memory [RECORDS [BY_NAME]]      (defaults 100000 0)
//
// The high-water mark is reset just before the listing (/proc/self/clear_refs)
// so that what the setup touched does not hide the listing's peak; where that
// is refused, the rise of getrusage's ru_maxrss is shown instead.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_spooler.h"
#include "fd_sink.h"
#include "listing/listing.h"
#include "report/wide_output.h"

namespace {

const DWORD kLevel = 2;
const DWORD kFlags = PRINTER_ENUM_LOCAL;

// A "Vm...:" figure of /proc/self/status in bytes, -1 when it is not there.
long long StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) {
      return std::atoll(line.c_str() + field.size() + 1) * 1024;
    }
  }
  return -1;
}

long long MaxRssBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<long long>(usage.ru_maxrss) * 1024;
}

bool ResetHighWaterMark() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5" << std::flush;
  return clear.good();
}

}  // namespace

int main(int argc, char** argv) {
  const long long records = argc > 1 ? std::atoll(argv[1]) : 100000;
  const bool by_name = argc > 2 && std::atoi(argv[2]) != 0;
  if (records < 1) {
    std::fprintf(stderr, "usage: listing_memory [RECORDS [BY_NAME]]\n");
    return 2;
  }
  ScriptBenchSpooler(static_cast<std::size_t>(records), by_name);
  DWORD needed = 0;
  DWORD returned = 0;
  EnumPrintersW(kFlags, nullptr, kLevel, nullptr, 0, &needed, &returned);

  Sink sink;
  if (!OpenSink(SinkKind::kDevNull, sink)) {
    std::perror("/dev/null");
    return 1;
  }
  const int saved = RedirectStdout(sink.fd);
  if (saved < 0) {
    std::perror("dup2");
    return 1;
  }
  const bool reset = ResetHighWaterMark();
  const long long rss_before = StatusBytes("VmRSS");
  const long long maxrss_before = MaxRssBytes();
  bool good = true;
  {
    WideOutputBuf wide(std::cout.rdbuf());
    std::wstreambuf* const previous = std::wcout.rdbuf(&wide);
    ListPrinters(kLevel, kFlags);
    good = std::wcout.good() && std::cout.good();
    std::wcout.rdbuf(previous);
  }
  const long long peak = StatusBytes("VmHWM");
  const long long maxrss_after = MaxRssBytes();
  RestoreStdout(saved);
  CloseSink(sink);
  if (!good) {
    std::fprintf(stderr, "writing the listing failed\n");
    return 1;
  }

  const long long buffer = static_cast<long long>(needed) + 128;
  const long long rise =
      reset && peak >= 0 && rss_before >= 0 ? peak - rss_before
                                            : maxrss_after - maxrss_before;
  std::printf("records=%lld by_name=%d needed=%lu buffer=%lld peak_rise=%lld "
              "(%s) rise/buffer=%.3f\n",
              records, by_name ? 1 : 0, static_cast<unsigned long>(needed),
              buffer, rise, reset ? "VmHWM over VmRSS" : "ru_maxrss",
              static_cast<double>(rise) / static_cast<double>(buffer));
  return 0;
}
