// Running report code with its streams captured.
#ifndef QUELVARO_TESTS_CAPTURE_H
#define QUELVARO_TESTS_CAPTURE_H

#include <functional>
#include <string>

// Runs body with wcout (through the program's wide output) and cout writing
// into one byte string, in the order the lines are flushed, and with cin
// reading input; returns the bytes written.
std::string CaptureOutput(const std::function<void()>& body,
                          const std::string& input = "");

#endif  // QUELVARO_TESTS_CAPTURE_H
