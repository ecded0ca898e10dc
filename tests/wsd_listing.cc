// The WSD discovery on its own, as the run drives it, for the private
// network's test (network/wsd_end_to_end.sh): discovers with the default
// settings (the multicast groups, every interface), then writes the Network
// scope's records it makes, one a line, "name<TAB>description<TAB>comment"
// with every byte below 0x20, DEL and a backslash written as \xHH, and on
// standard error how long it took and the most memory it held.
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "spooler/run_limits.h"
#include "spooler/utf8_text.h"
#include "spooler/wsd/wsd_discovery.h"
#include "spooler/wsd/wsd_printers.h"

namespace {

std::string Shown(LPCWSTR text) {
  std::string shown;
  for (unsigned char c : Utf8FromWide(text == nullptr ? L"" : text)) {
    if (c < 0x20 || c == 0x7F || c == '\\') {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

}  // namespace

int main() {
  const Deadline started = Now();
  WsdDiscovery discovery;
  StartWsdDiscovery(discovery, WsdSettings(), started + kDiscoveryBound,
                    started + kRunBound);
  while (!IsWsdDiscoveryOver(discovery, Now())) {
    PollSet set = NewPollSet(started + kRunBound);
    WsdPolls(discovery, set, Now());
    WaitForPolls(set);
    ContinueWsdDiscovery(discovery, set, Now());
  }
  const PrinterList printers = WsdPrinters(EndWsdDiscovery(discovery));
  for (const PrinterRecord& printer : printers.printers) {
    std::printf("%s\t%s\t%s\n", Shown(printer.level1.pName).c_str(),
                Shown(printer.level1.pDescription).c_str(),
                Shown(printer.level1.pComment).c_str());
  }
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "%lld ms, %ld KiB at most\n",
               static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          Now() - started).count()),
               usage.ru_maxrss);
  return 0;
}
