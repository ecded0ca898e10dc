// WSD messages read with expat as a stream: the path of known elements from
// the envelope down is all that is kept of the document's structure, and
// only the text of the elements wanted is collected.
#include "spooler/wsd/wsd_message.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

#include "spooler/run_limits.h"
#include "spooler/wsd/expat_library.h"

namespace {

// Between a name's namespace and its local part in what the parser hands
// over: a character no XML name or namespace may hold.
const XML_Char kSeparator = '\x01';

// The elements the reader knows; any other is kOther.
enum Element : unsigned char {
  kOther,
  kEnvelope,
  kHeader,
  kBody,
  kRelatesTo,
  kEndpointReference,
  kAddress,
  kProbeMatches,
  kProbeMatch,
  kResolveMatches,
  kResolveMatch,
  kTypes,
  kXAddrs,
  kThisDevice,
  kFriendlyName,
  kThisModel,
  kModelName,
};

enum Family { kSoap, kAddressing, kDiscovery, kDevices };

struct KnownElement {
  Element element;
  Family family;
  const char* local;
};

const KnownElement kKnownElements[] = {
    {kEnvelope, kSoap, "Envelope"},
    {kHeader, kSoap, "Header"},
    {kBody, kSoap, "Body"},
    {kRelatesTo, kAddressing, "RelatesTo"},
    {kEndpointReference, kAddressing, "EndpointReference"},
    {kAddress, kAddressing, "Address"},
    {kProbeMatches, kDiscovery, "ProbeMatches"},
    {kProbeMatch, kDiscovery, "ProbeMatch"},
    {kResolveMatches, kDiscovery, "ResolveMatches"},
    {kResolveMatch, kDiscovery, "ResolveMatch"},
    {kTypes, kDiscovery, "Types"},
    {kXAddrs, kDiscovery, "XAddrs"},
    {kThisDevice, kDevices, "ThisDevice"},
    {kFriendlyName, kDevices, "FriendlyName"},
    {kThisModel, kDevices, "ThisModel"},
    {kModelName, kDevices, "ModelName"},
};

// A namespace declaration in scope: an empty prefix is the default
// namespace, an empty URI none.
struct Binding {
  std::string prefix;
  std::string uri;
};

struct Reading {
  const Expat* expat = nullptr;
  XML_Parser parser = nullptr;
  WsdMessage* message = nullptr;
  std::vector<Element> path;       // from the document element down
  std::vector<Binding> bindings;   // in scope, the innermost last
  std::size_t capture_depth = 0;   // the element whose text is collected
  std::string text;                // (0: none)
  bool in_match = false;
  WsdMatch match;
  bool refused = false;
};

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view Collapsed(std::string_view text) {
  while (!text.empty() && IsXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The words of a list (of URIs or QNames), separated by white space.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsXmlSpace(text[at])) ++at;
    std::size_t end = at;
    while (end < text.size() && !IsXmlSpace(text[end])) ++end;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

bool InFamily(Family family, std::string_view uri, WsdVersion& version) {
  if (family == kSoap) return uri == kSoapNamespace;
  for (int v = 0; v < static_cast<int>(std::size(kWsdNamespaces)); ++v) {
    const WsdNamespaces& names = kWsdNamespaces[v];
    const char* member = family == kAddressing  ? names.addressing
                         : family == kDiscovery ? names.discovery
                                                : names.devices;
    if (uri == member) {
      version = static_cast<WsdVersion>(v);
      return true;
    }
  }
  return false;
}

// The element a name (namespace, separator, local part) is; the version of
// its namespace into version.
Element Identify(const XML_Char* name, WsdVersion& version) {
  const char* separator = std::strrchr(name, kSeparator);
  if (separator == nullptr) return kOther;  // in no namespace
  const std::string_view uri(name, static_cast<std::size_t>(separator - name));
  const std::string_view local(separator + 1);
  for (const KnownElement& known : kKnownElements) {
    if (local == known.local && InFamily(known.family, uri, version)) {
      return known.element;
    }
  }
  return kOther;
}

bool StartsWith(const std::vector<Element>& path,
                std::initializer_list<Element> start) {
  return path.size() >= start.size() &&
         std::equal(start.begin(), start.end(), path.begin());
}

// Whether the path's first four are Envelope/Body/*Matches/*Match.
bool InMatch(const std::vector<Element>& path) {
  return StartsWith(path, {kEnvelope, kBody, kProbeMatches, kProbeMatch}) ||
         StartsWith(path, {kEnvelope, kBody, kResolveMatches, kResolveMatch});
}

// Whether the element the path ends at is one whose text is wanted.
bool IsWanted(const std::vector<Element>& path) {
  const std::size_t depth = path.size();
  const Element last = path.back();
  if (depth == 3) return StartsWith(path, {kEnvelope, kHeader, kRelatesTo});
  if (depth == 5 && (last == kTypes || last == kXAddrs)) return InMatch(path);
  if (depth == 6 && last == kAddress) {
    return InMatch(path) && path[4] == kEndpointReference;
  }
  if (depth >= 4 && (last == kFriendlyName || last == kModelName) &&
      StartsWith(path, {kEnvelope, kBody})) {
    return path[depth - 2] == (last == kFriendlyName ? kThisDevice : kThisModel);
  }
  return false;
}

// The namespace a prefix stands for where the element being read is.
const std::string* BoundUri(const Reading& reading, std::string_view prefix) {
  for (auto at = reading.bindings.rbegin(); at != reading.bindings.rend(); ++at) {
    if (at->prefix == prefix) return &at->uri;
  }
  return nullptr;
}

// Whether a list of QNames names wprt:PrintDeviceType. A QName without a
// prefix is in the default namespace.
bool NamesPrintDevice(const Reading& reading, std::string_view types) {
  for (std::string_view qname : Words(types)) {
    const std::size_t colon = qname.find(':');
    const std::string_view prefix =
        colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
    const std::string_view local =
        colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    const std::string* uri = BoundUri(reading, prefix);
    if (uri != nullptr && *uri == kPrintNamespace && local == kPrintDeviceType) {
      return true;
    }
  }
  return false;
}

// The text of a wanted element, now that it has ended.
void TakeText(Reading& reading, Element element) {
  WsdMessage& message = *reading.message;
  const std::string_view text = reading.text;
  switch (element) {
    case kRelatesTo:
      if (message.relates_to.empty()) message.relates_to = Collapsed(text);
      return;
    case kAddress:
      if (reading.match.address.empty()) reading.match.address = Collapsed(text);
      return;
    case kTypes:
      if (NamesPrintDevice(reading, text)) reading.match.print_device = true;
      return;
    case kXAddrs:
      for (std::string_view uri : Words(text)) reading.match.xaddrs.emplace_back(uri);
      return;
    case kFriendlyName:
      if (!message.friendly_name) message.friendly_name = reading.text;
      return;
    case kModelName:
      if (!message.model_name) message.model_name = reading.text;
      return;
    default:
      return;
  }
}

void Refuse(Reading& reading) {
  reading.refused = true;
  reading.expat->stop_parser(reading.parser, XML_FALSE);
}

void XMLCALL StartElement(void* data, const XML_Char* name, const XML_Char**) {
  Reading& reading = *static_cast<Reading*>(data);
  if (reading.path.size() >= kMostWsdDepth) {
    Refuse(reading);
    return;
  }
  WsdVersion version = kWsd2005;
  const Element element = Identify(name, version);
  reading.path.push_back(element);
  if (reading.path.size() == 4 && InMatch(reading.path)) {
    reading.in_match = true;
    reading.match = WsdMatch();
    reading.message->version = version;
    reading.message->resolve_matches = element == kResolveMatch;
  }
  if (reading.capture_depth == 0 && IsWanted(reading.path)) {
    reading.capture_depth = reading.path.size();
    reading.text.clear();
  }
}

void XMLCALL EndElement(void* data, const XML_Char*) {
  Reading& reading = *static_cast<Reading*>(data);
  if (reading.path.empty()) return;
  if (reading.capture_depth == reading.path.size()) {
    TakeText(reading, reading.path.back());
    reading.capture_depth = 0;
  }
  if (reading.path.size() == 4 && reading.in_match) {
    reading.message->matches.push_back(std::move(reading.match));
    reading.in_match = false;
  }
  reading.path.pop_back();
}

void XMLCALL Characters(void* data, const XML_Char* text, int length) {
  Reading& reading = *static_cast<Reading*>(data);
  // Only the element's own text, not its children's.
  if (reading.capture_depth != 0 && reading.capture_depth == reading.path.size()) {
    reading.text.append(text, static_cast<std::size_t>(length));
  }
}

void XMLCALL StartNamespace(void* data, const XML_Char* prefix, const XML_Char* uri) {
  Reading& reading = *static_cast<Reading*>(data);
  reading.bindings.push_back(
      {prefix != nullptr ? prefix : "", uri != nullptr ? uri : ""});
}

void XMLCALL EndNamespace(void* data, const XML_Char* prefix) {
  Reading& reading = *static_cast<Reading*>(data);
  // The element's own declarations are the innermost.
  const std::string_view ended = prefix != nullptr ? prefix : "";
  for (auto at = reading.bindings.end(); at != reading.bindings.begin();) {
    --at;
    if (at->prefix == ended) {
      reading.bindings.erase(at);
      return;
    }
  }
}

void XMLCALL StartDoctype(void* data, const XML_Char*, const XML_Char*,
                          const XML_Char*, int) {
  Refuse(*static_cast<Reading*>(data));
}

// Whether the bytes hold more markup than the parser is let keep.
bool HasTooMuchMarkup(std::string_view bytes) {
  std::size_t tags = 0;
  std::size_t equals = 0;
  for (char c : bytes) {
    if (c == '<' && ++tags > kMostWsdMarkup) return true;
    if (c == '=' && ++equals > kMostWsdMarkup) return true;
  }
  return false;
}

}  // namespace

bool ReadWsdMessage(std::string_view bytes, WsdMessage& message) {
  message = WsdMessage();
  if (bytes.size() > kMostWsdAnswerBytes || HasTooMuchMarkup(bytes)) return false;
  const Expat* expat = LoadExpatOnce();
  if (expat == nullptr) return false;
  const std::unique_ptr<XML_ParserStruct, decltype(expat->parser_free)> parser(
      expat->parser_create_ns(nullptr, kSeparator), expat->parser_free);
  if (!parser) return false;
  Reading reading;
  reading.expat = expat;
  reading.parser = parser.get();
  reading.message = &message;
  expat->set_user_data(parser.get(), &reading);
  expat->set_element_handler(parser.get(), &StartElement, &EndElement);
  expat->set_character_data_handler(parser.get(), &Characters);
  expat->set_namespace_decl_handler(parser.get(), &StartNamespace, &EndNamespace);
  expat->set_start_doctype_decl_handler(parser.get(), &StartDoctype);
  const XML_Status status =
      expat->parse(parser.get(), bytes.data(), static_cast<int>(bytes.size()), XML_TRUE);
  if (status != XML_STATUS_OK || reading.refused) {
    message = WsdMessage();
    return false;
  }
  return true;
}
