// The least a libcups client does to ask what the report asks: one
// CUPS-Get-Printers request naming the same attributes, sent with
// cupsDoRequest to the server libcups' configuration names, every attribute
// of the answer visited once, and nothing printed. The yardstick for the
// report's own exchange in bench/run-cups.
#include <cups/cups.h>

#include <cstdio>
#include <vector>

#include "spooler/ipp/ipp_printers.h"

int main() {
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  const std::vector<std::string> names = PrinterAttributeNames();
  std::vector<const char*> requested;
  for (const std::string& name : names) requested.push_back(name.c_str());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD,
                "requested-attributes", static_cast<int>(requested.size()),
                nullptr, requested.data());
  // cupsDoRequest frees the request.
  ipp_t* answer = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
  if (answer == nullptr) return 1;
  std::size_t attributes = 0;
  for (ipp_attribute_t* a = ippFirstAttribute(answer); a != nullptr;
       a = ippNextAttribute(answer)) {
    ++attributes;
  }
  ippDelete(answer);
  return attributes == 0 ? 1 : 0;
}
