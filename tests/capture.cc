#include "capture.h"

#include <iostream>
#include <sstream>

#include "report/wide_output.h"

std::string CaptureOutput(const std::function<void()>& body,
                          const std::string& input) {
  std::stringbuf bytes;
  std::stringbuf in(input);
  WideOutputBuf wide(&bytes);
  std::wstreambuf* const old_wide = std::wcout.rdbuf(&wide);
  std::streambuf* const old_narrow = std::cout.rdbuf(&bytes);
  std::streambuf* const old_in = std::cin.rdbuf(&in);
  body();
  std::wcout.rdbuf(old_wide);
  std::cout.rdbuf(old_narrow);
  std::cin.rdbuf(old_in);
  return bytes.str();
}
