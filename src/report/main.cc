// Process entry: the report, written through the safe wide output.
#include <iostream>

#include "report/report.h"
#include "report/wide_output.h"

#ifdef _WIN32
#include "report/wide_output_console.h"
#else
#include <csignal>
#endif

namespace {

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
int wmain(int, wchar_t*[], wchar_t*[]) { return Run(StandardOutputConsole()); }
#else
int main(int, char*[]) {
  // Output that has been closed (a reader that went away) fails the writes
  // instead of ending the process, so the run still reaches its closing
  // lines and its wait, and ends with the status that says what happened.
  std::signal(SIGPIPE, SIG_IGN);
  return Run(nullptr);
}
#endif
