// DNS-SD's printers as records.
#include "spooler/dnssd/network_printers.h"

#include <iterator>

#include "spooler/net/host_text.h"
#include "spooler/utf8_text.h"

namespace {

// The types a printer is advertised as, in the order its record takes its
// fields from: IPP, IPPS, LPD, a raw socket.
const char* const kPrinterTypes[] = {"_ipp._tcp", "_ipps._tcp", "_printer._tcp",
                                     "_pdl-datastream._tcp"};
const int kLpdPort = 515;

// Where the type stands in kPrinterTypes; -1 for a type that is no
// printer's (an SMB server's).
int PrinterTypeRank(const std::string& type) {
  for (int rank = 0; rank < static_cast<int>(std::size(kPrinterTypes)); ++rank) {
    if (type == kPrinterTypes[rank]) return rank;
  }
  return -1;
}

std::string TxtValue(const DnssdService& service, const std::string& key) {
  const auto found = service.txt.find(key);
  return found == service.txt.end() ? std::string() : found->second;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool IsIpp(const DnssdService& service) {
  return service.service_type == "_ipp._tcp" ||
         service.service_type == "_ipps._tcp";
}

// The URI of a resolved printer service in its own scheme, at the host
// name it was found with.
std::string PrinterUri(const DnssdService& service) {
  const std::string host = Bracketed(service.host_name);
  if (service.service_type == "_printer._tcp") {
    return "lpd://" + host +
           (service.port != kLpdPort ? ":" + std::to_string(service.port) : "") +
           "/" + TxtValue(service, "rp");
  }
  if (service.service_type == "_pdl-datastream._tcp") {
    return "socket://" + host + ":" + std::to_string(service.port);
  }
  return ServiceUri(service,
                    service.service_type == "_ipps._tcp" ? "ipps" : "ipp",
                    service.host_name);
}

}  // namespace

bool IsSharedQueue(const DnssdService& service) {
  const std::string resource = TxtValue(service, "rp");
  return IsIpp(service) && service.txt.count("printer-type") != 0 &&
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
    // The services come in the order of names: the same printer advertised
    // as several types comes as many times in a row. Its record is made from
    // the first of them, in the order of kPrinterTypes, that was resolved,
    // or from its name alone.
    const std::string& name = services[i].instance_name;
    const DnssdService* chosen = nullptr;
    const DnssdService* first = nullptr;
    for (; i < services.size() && services[i].instance_name == name; ++i) {
      const DnssdService& offered = services[i];
      const int rank = PrinterTypeRank(offered.service_type);
      if (rank < 0) continue;
      if (first == nullptr || rank < PrinterTypeRank(first->service_type)) {
        first = &offered;
      }
      if (offered.resolved &&
          (chosen == nullptr || rank < PrinterTypeRank(chosen->service_type))) {
        chosen = &offered;
      }
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
    WideFromUtf8(service.resolved ? PrinterUri(service) : std::string(), text);
    info.pPortName = KeepText(pool, text);
    info.Attributes = PRINTER_ATTRIBUTE_NETWORK;
    if (IsSharedQueue(service)) info.Attributes |= PRINTER_ATTRIBUTE_SHARED;

    PRINTER_INFO_1 level1 = {};
    level1.Flags = PRINTER_ENUM_ICON8;
    level1.pName = info.pPrinterName;
    level1.pComment = info.pPortName;
    level1.pDescription = KeepDescription(pool, info.pPrinterName,
                                          info.pDriverName, info.pLocation);
    KeepPrinter(list, level1, info);
  }
  return list;
}
