// Process entry: the report, written through the safe wide output.
#include <iostream>

#include "report/report.h"
#include "report/wide_output.h"

namespace {

int Run() {
  WideOutputBuf wide(std::cout.rdbuf());
  std::wstreambuf* const previous = std::wcout.rdbuf(&wide);
  RunReport();
  std::wcout.rdbuf(previous);
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int, wchar_t*[], wchar_t*[]) { return Run(); }
#else
int main(int, char*[]) { return Run(); }
#endif
