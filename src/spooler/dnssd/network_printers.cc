// DNS-SD's IPP printers as records.
#include "spooler/dnssd/network_printers.h"

#include <poll.h>

#include "spooler/utf8_text.h"

namespace {

// About a second for the network to answer: enough for the devices of a
// local network, short enough for a report that does not hang.
const std::chrono::milliseconds kDiscoveryBound(1500);

std::string TxtValue(const DnssdService& service, const std::string& key) {
  const auto found = service.txt.find(key);
  return found == service.txt.end() ? std::string() : found->second;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

std::string Scheme(const DnssdService& service) {
  return service.service_type == "_ipps._tcp" ? "ipps" : "ipp";
}

}  // namespace

std::vector<DnssdService> BrowseServices(const std::vector<std::string>& types,
                                         Deadline deadline) {
  DnssdBrowse browse;
  StartBrowse(browse, types, deadline);
  std::vector<DnssdService> newly;
  while (!IsBrowseOver(browse)) {
    pollfd waiting = {BrowseDescriptor(browse), BrowseEvents(browse), 0};
    poll(&waiting, 1, MillisecondsLeft(BrowseWakeTime(browse)));
    ContinueBrowse(browse, newly);
  }
  return EndBrowse(browse);
}

const std::vector<DnssdService>& DiscoveredServices() {
  // State the spooler keeps for the run: one discovery, at the first answer
  // that needs it.
  static const std::vector<DnssdService> services = BrowseServices(
      {"_ipp._tcp", "_ipps._tcp", "_smb._tcp"},
      std::chrono::steady_clock::now() + kDiscoveryBound);
  return services;
}

bool IsSharedQueue(const DnssdService& service) {
  const std::string resource = TxtValue(service, "rp");
  return service.txt.count("printer-type") != 0 &&
         (StartsWith(resource, "printers/") || StartsWith(resource, "classes/"));
}

std::string ServiceUri(const DnssdService& service, const std::string& scheme,
                       const std::string& host) {
  const bool bare_ipv6 =
      host.find(':') != std::string::npos && host.front() != '[';
  std::string uri = scheme + "://" + (bare_ipv6 ? "[" + host + "]" : host);
  if (service.port != 631) uri += ":" + std::to_string(service.port);
  return uri + "/" + TxtValue(service, "rp");
}

PrinterList NetworkPrinters(const std::vector<DnssdService>& services) {
  PrinterList list;
  TextPool& pool = list.text;
  std::wstring text;
  const std::string* previous = nullptr;
  for (const DnssdService& service : services) {
    // The services come in the order of names: the same printer as ipp and
    // as ipps comes twice in a row, ipp first.
    const std::string& name = service.instance_name;
    if (service.service_type == "_smb._tcp") continue;
    if (previous != nullptr && *previous == name) continue;
    previous = &name;

    PRINTER_INFO_2 info = {};
    WideFromUtf8(name, text);
    info.pPrinterName = KeepText(pool, text);
    WideFromUtf8(TxtValue(service, "ty"), text);
    info.pDriverName = KeepText(pool, text);
    WideFromUtf8(TxtValue(service, "note"), text);
    info.pLocation = KeepText(pool, text);
    WideFromUtf8(ServiceUri(service, Scheme(service),
                            service.host_name),
                 text);
    info.pPortName = KeepText(pool, text);
    info.Attributes = PRINTER_ATTRIBUTE_NETWORK;
    if (IsSharedQueue(service)) info.Attributes |= PRINTER_ATTRIBUTE_SHARED;

    PRINTER_INFO_1 level1 = {};
    level1.Flags = PRINTER_ENUM_ICON8;
    level1.pName = info.pPrinterName;
    level1.pComment = info.pPortName;
    text = std::wstring(info.pPrinterName) + L"," + info.pDriverName + L"," +
           info.pLocation;
    level1.pDescription = KeepText(pool, text);
    list.printers.push_back({level1, info});
  }
  return list;
}
