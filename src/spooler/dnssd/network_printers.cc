// DNS-SD's IPP printers as records.
#include "spooler/dnssd/network_printers.h"

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
