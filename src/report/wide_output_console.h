// The Windows console behind wcout: finding it and writing wide text to it.
#ifndef QUELVARO_REPORT_WIDE_OUTPUT_CONSOLE_H
#define QUELVARO_REPORT_WIDE_OUTPUT_CONSOLE_H

#include <string>

// The console handle standard output is, or null when standard output is
// redirected to a file or a pipe (or there is none).
void* StandardOutputConsole();

// Writes text to the console, all of it; false when the console refused.
bool WriteConsoleText(void* console, const std::u16string& text);

#endif  // QUELVARO_REPORT_WIDE_OUTPUT_CONSOLE_H
