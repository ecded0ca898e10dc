// Fuzz target: the bytes of a server's answer, read and mapped as the Linux
// spooler reads and maps them, laid out at every level, and each record
// checked: every string inside the block and ended there, every name a
// well-formed string of characters, no user name or password shown.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "layout_check.h"
#include "spooler/ipp/ipp_printers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::optional<PrinterList> printers = PrintersInAnswer(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!printers) return 0;
  CheckPrinterLayout(AllPrinters(*printers));
  return 0;
}
