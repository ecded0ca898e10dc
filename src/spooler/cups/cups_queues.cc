// Building the CUPS-Get-Printers request and reading its answer, as lpstat
// does: one request, naming only the attributes it is asked for.
#include "spooler/cups/cups_queues.h"

#include "spooler/cups/cups_exchange.h"

namespace {

// The request for the server's queues. The natural language is fixed, so
// the question does not depend on the locale the program runs in.
IppMessage QueuesRequest(const std::vector<std::string>& attributes,
                         int limit) {
  IppMessage request(ippNew(), &ippDelete);
  ippSetVersion(request.get(), 2, 0);
  ippSetOperation(request.get(), IPP_OP_CUPS_GET_PRINTERS);
  ippSetRequestId(request.get(), 1);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_CHARSET,
               "attributes-charset", nullptr, "utf-8");
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_LANGUAGE,
               "attributes-natural-language", nullptr, "en");
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME,
               "requesting-user-name", nullptr, cupsUser());
  std::vector<const char*> names;
  for (const std::string& attribute : attributes) {
    names.push_back(attribute.c_str());
  }
  ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD,
                "requested-attributes", static_cast<int>(names.size()),
                nullptr, names.data());
  if (limit > 0) {
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit",
                  limit);
  }
  return request;
}

// The first value of an attribute as text; nothing for value kinds the
// spooler has no use for.
std::optional<std::string> ValueText(ipp_attribute_t* attribute) {
  switch (ippGetValueTag(attribute)) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_ENUM:
      return std::to_string(ippGetInteger(attribute, 0));
    case IPP_TAG_BOOLEAN:
      return std::string(ippGetBoolean(attribute, 0) ? "true" : "false");
    case IPP_TAG_TEXT:
    case IPP_TAG_NAME:
    case IPP_TAG_TEXTLANG:
    case IPP_TAG_NAMELANG:
    case IPP_TAG_KEYWORD:
    case IPP_TAG_URI: {
      const char* text = ippGetString(attribute, 0, nullptr);
      if (text == nullptr) return std::nullopt;
      return std::string(text);
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::vector<CupsQueue> QueuesInResponse(ipp_t* response) {
  std::vector<CupsQueue> queues;
  if (ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    return queues;
  }
  // Printer groups are separated by nameless attributes, and by attributes
  // of other groups.
  bool in_queue = false;
  for (ipp_attribute_t* attribute = ippFirstAttribute(response);
       attribute != nullptr; attribute = ippNextAttribute(response)) {
    const char* name = ippGetName(attribute);
    if (name == nullptr || ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
      in_queue = false;
      continue;
    }
    if (!in_queue) {
      queues.emplace_back();
      in_queue = true;
    }
    std::optional<std::string> text = ValueText(attribute);
    if (text) queues.back().emplace(name, *text);
  }
  return queues;
}

std::optional<std::vector<CupsQueue>> AskCupsQueues(
    const std::vector<std::string>& attributes, int limit) {
  IppMessage request = QueuesRequest(attributes, limit);
  IppMessage response = AskCupsServer(request.get());
  if (!response) return std::nullopt;
  return QueuesInResponse(response.get());
}
