// Process entry: the report, written through the safe wide output.
#include <iostream>

#include "report/report.h"
#include "report/wide_output.h"

#ifdef _WIN32
#include <cstdio>

#include "report/wide_output_console.h"
#else
#include <csignal>
#endif

namespace {

#ifdef _WIN32
// Standard output's buffer, when it is no console: a line of the report fits
// it whole unless a name is very long.
const std::size_t kOutputBufferBytes = 4096;
#endif

int Run(void* console) {
  WideOutputBuf wide(std::cout.rdbuf(), console);
  std::wstreambuf* const previous = std::wcout.rdbuf(&wide);
  RunReport();
  const bool written = ReportWritten();
  std::wcout.rdbuf(previous);
  // A report that could not be written whole (a full disk, a closed
  // output) is not a success, though it still ran to its end.
  return written ? 0 : 1;
}

}  // namespace

#ifdef _WIN32
// Wide lines go to the console itself when standard output is one.
int wmain(int, wchar_t*[], wchar_t*[]) {
  void* const console = StandardOutputConsole();
  if (console == nullptr) {
    // Standard output that is no console gets a buffer, flushed after every
    // line as before. The runtime gives a character device (NUL, and so
    // /dev/null under Wine) none of its own, and Wine's then writes what it
    // is handed one byte at a time, a call into the system for each.
    std::setvbuf(stdout, nullptr, _IOFBF, kOutputBufferBytes);
  }
  return Run(console);
}
#else
int main(int, char*[]) {
  // Output that has been closed (a reader that went away) fails the writes
  // instead of ending the process, so the run still reaches its closing
  // lines and its wait, and ends with the status that says what happened.
  std::signal(SIGPIPE, SIG_IGN);
  return Run(nullptr);
}
#endif
