// Fuzz target: the bytes of a WSD answer (a ProbeMatches, a ResolveMatches,
// a device's metadata), read as the discovery reads them, each match's
// transport addresses taken as it takes them, and the devices they make
// laid out as records at every level and checked (layout_check.h).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "layout_check.h"
#include "spooler/wsd/expat_library.h"
#include "spooler/wsd/wsd_message.h"
#include "spooler/wsd/wsd_printers.h"
#include "spooler/wsd/wsd_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // Without the parser every input would be refused unread.
  if (LoadExpatOnce() == nullptr) Fault("expat cannot be loaded");
  WsdMessage message;
  if (!ReadWsdMessage(std::string_view(reinterpret_cast<const char*>(data), size),
                      message)) {
    return 0;
  }
  std::vector<WsdDevice> devices;
  for (const WsdMatch& match : message.matches) {
    const std::optional<WsdTarget> target = FirstUsableXAddr(match.xaddrs, 1);
    if (target && (target->host.empty() || target->port <= 0 ||
                   target->port > 65535 || target->addresses.empty())) {
      Fault("an XAddr taken that cannot be asked");
    }
    devices.push_back({match.address, ShownXAddr(target, match.xaddrs),
                       message.friendly_name, message.model_name});
  }
  const PrinterList printers = WsdPrinters(devices);
  if (printers.printers.size() != devices.size()) Fault("a device without its record");
  CheckPrinterLayout(AllPrinters(printers));
  return 0;
}
