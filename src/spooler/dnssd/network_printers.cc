// DNS-SD's IPP printers as records.
#include "spooler/dnssd/network_printers.h"

#include "spooler/net/host_text.h"
#include "spooler/utf8_text.h"

namespace {

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

bool IsSharedQueue(const DnssdService& service) {
  const std::string resource = TxtValue(service, "rp");
  return service.txt.count("printer-type") != 0 &&
         (StartsWith(resource, "printers/") || StartsWith(resource, "classes/"));
}

std::string ServiceUri(const DnssdService& service, const std::string& scheme,
                       const std::string& host) {
  std::string uri = scheme + "://" + Bracketed(host);
  if (service.port != 631) uri += ":" + std::to_string(service.port);
  return uri + "/" + TxtValue(service, "rp");
}

PrinterList NetworkPrinters(const std::vector<DnssdService>& services) {
  PrinterList list;
  TextPool& pool = list.text;
  std::wstring text;
  std::size_t i = 0;
  while (i < services.size()) {
    // The services come in the order of names: the same printer as ipp and
    // as ipps comes twice in a row, ipp first. Its record is made from the
    // first of them that was resolved, or from its name alone.
    const std::string& name = services[i].instance_name;
    const DnssdService* chosen = nullptr;
    const DnssdService* first = nullptr;
    for (; i < services.size() && services[i].instance_name == name; ++i) {
      if (services[i].service_type == "_smb._tcp") continue;
      if (first == nullptr) first = &services[i];
      if (chosen == nullptr && services[i].resolved) chosen = &services[i];
    }
    if (first == nullptr) continue;
    const DnssdService& service = chosen != nullptr ? *chosen : *first;

    PRINTER_INFO_2 info = {};
    WideFromUtf8(name, text);
    info.pPrinterName = KeepText(pool, text);
    WideFromUtf8(TxtValue(service, "ty"), text);
    info.pDriverName = KeepText(pool, text);
    WideFromUtf8(TxtValue(service, "note"), text);
    info.pLocation = KeepText(pool, text);
    WideFromUtf8(service.resolved ? ServiceUri(service, Scheme(service),
                                               service.host_name)
                                  : std::string(),
                 text);
    info.pPortName = KeepText(pool, text);
    info.Attributes = PRINTER_ATTRIBUTE_NETWORK;
    if (IsSharedQueue(service)) info.Attributes |= PRINTER_ATTRIBUTE_SHARED;

    PRINTER_INFO_1 level1 = {};
    level1.Flags = PRINTER_ENUM_ICON8;
    level1.pName = info.pPrinterName;
    level1.pComment = info.pPortName;
    level1.pDescription = KeepDescription(pool, info.pPrinterName,
                                          info.pDriverName, info.pLocation);
    list.printers.push_back({level1, info});
  }
  return list;
}
