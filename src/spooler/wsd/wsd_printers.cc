// WSD devices as records, laid out as DNS-SD's printers are
// (dnssd/network_printers.cc).
#include "spooler/wsd/wsd_printers.h"

#include <algorithm>

#include "spooler/utf8_text.h"

namespace {

const std::string& NameOf(const WsdDevice& device) {
  return device.friendly_name ? *device.friendly_name : device.address;
}

bool NameOrder(const WsdDevice* a, const WsdDevice* b) {
  if (NameOf(*a) != NameOf(*b)) return NameOf(*a) < NameOf(*b);
  return a->address < b->address;
}

}  // namespace

PrinterList WsdPrinters(const std::vector<WsdDevice>& devices) {
  std::vector<const WsdDevice*> ordered;
  for (const WsdDevice& device : devices) ordered.push_back(&device);
  std::sort(ordered.begin(), ordered.end(), &NameOrder);

  PrinterList list;
  TextPool& pool = list.text;
  std::wstring text;
  for (const WsdDevice* device : ordered) {
    PRINTER_INFO_2 info = {};
    WideFromUtf8(NameOf(*device), text);
    info.pPrinterName = KeepText(pool, text);
    WideFromUtf8(device->model_name.value_or(std::string()), text);
    info.pDriverName = KeepText(pool, text);
    info.pLocation = KeepText(pool, L"");
    WideFromUtf8(device->xaddr, text);
    info.pPortName = KeepText(pool, text);
    info.Attributes = PRINTER_ATTRIBUTE_NETWORK;
    AddPrinterRecord(list, info, info.pPortName, info.pLocation);
  }
  return list;
}
