// Process entry: the report, written through the safe wide output.
#include <iostream>

#include "report/report.h"
#include "report/wide_output.h"

#ifdef _WIN32
#include "report/wide_output_console.h"
#endif

namespace {

int Run(void* console) {
  WideOutputBuf wide(std::cout.rdbuf(), console);
  std::wstreambuf* const previous = std::wcout.rdbuf(&wide);
  RunReport();
  std::wcout.rdbuf(previous);
  return 0;
}

}  // namespace

#ifdef _WIN32
// Wide lines go to the console itself when standard output is one.
int wmain(int, wchar_t*[], wchar_t*[]) { return Run(StandardOutputConsole()); }
#else
int main(int, char*[]) { return Run(nullptr); }
#endif
