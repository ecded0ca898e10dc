// Fuzz target: one whole report run over a spooler whose every answer comes
// from the input, checked line by line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "capture.h"
#include "fuzz_spooler.h"
#include "report/report.h"
#include "report_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Each run starts from good streams, so one input cannot spoil the next.
  std::wcout.clear();
  std::cout.clear();
  std::cin.clear();

  ScriptFuzzedSpooler(data, size);
  const std::string report = CaptureOutput(RunReport);
  // Set to see what an input makes of the report (for a found input, say).
  if (std::getenv("FUZZ_SHOW_REPORT") != nullptr) {
    std::fwrite(report.data(), 1, report.size(), stderr);
  }
  const std::string fault = ReportFault(report, FuzzedListings());
  if (!fault.empty()) {
    std::fprintf(stderr, "report fault: %s\n", fault.c_str());
    __builtin_trap();
  }
  return 0;
}
