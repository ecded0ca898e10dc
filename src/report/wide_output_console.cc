// The Windows console behind wcout.
#include "report/wide_output_console.h"

#include <windows.h>

namespace {

// Units handed to one WriteConsoleW call: older consoles refuse very long
// writes.
const std::size_t kChunkUnits = 4096;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

void* StandardOutputConsole() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return nullptr;
  if (GetFileType(output) != FILE_TYPE_CHAR) return nullptr;
  DWORD mode = 0;
  // Only a console has a console mode; a serial port or NUL has none.
  if (!GetConsoleMode(output, &mode)) return nullptr;
  return output;
}

bool WriteConsoleText(void* console, const std::u16string& text) {
  const std::wstring units(text.begin(), text.end());
  std::size_t done = 0;
  while (done < units.size()) {
    std::size_t chunk = units.size() - done;
    if (chunk > kChunkUnits) {
      chunk = kChunkUnits;
      // A surrogate pair stays within one write.
      if (IsHighSurrogate(text[done + chunk - 1])) --chunk;
    }
    DWORD written = 0;
    if (!WriteConsoleW(static_cast<HANDLE>(console), units.data() + done,
                       static_cast<DWORD>(chunk), &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}
