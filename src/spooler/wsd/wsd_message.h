// What a WSD answer says, read from its XML: the endpoints a ProbeMatches
// or ResolveMatches answer names (their addresses, whether they are print
// devices, where they are reached) and a device's metadata (its name and
// model). Elements are known by their namespace and local name, whatever
// prefix the sender gave them, in either version of WS-Discovery
// (wsd_namespaces.h); everything else in a message is passed over.
#ifndef QUELVARO_SPOOLER_WSD_WSD_MESSAGE_H
#define QUELVARO_SPOOLER_WSD_WSD_MESSAGE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spooler/wsd/wsd_namespaces.h"

// One ProbeMatch or ResolveMatch.
struct WsdMatch {
  std::string address;              // its endpoint reference address
  bool print_device = false;        // its Types name wprt:PrintDeviceType
  std::vector<std::string> xaddrs;  // its transport addresses, in order
};

struct WsdMessage {
  std::string relates_to;        // the header's RelatesTo: what it answers
  WsdVersion version = kWsd2005; // of the matches' namespace
  bool resolve_matches = false;  // the matches answer a Resolve
  std::vector<WsdMatch> matches;              // in document order
  std::optional<std::string> friendly_name;   // the first
                                              // ThisDevice/FriendlyName
  std::optional<std::string> model_name;      // the first ThisModel/ModelName
};

// Reads a WSD message: a SOAP 1.2 envelope, in any encoding the parser
// knows. URIs and QNames are taken without the white space around them (as
// their schema types say); a FriendlyName or ModelName exactly as it
// stands, in whichever language it is given (the first in the document),
// as UTF-8. Types are compared as QNames, each prefix resolved by the
// namespace declarations in scope at the Types element. False, with nothing
// read, for bytes that are no such document: not well-formed, more than
// kMostWsdAnswerBytes, more markup than kMostWsdMarkup or nested deeper
// than kMostWsdDepth (counted before or as it is parsed), or with a document
// type declaration, which a SOAP message never carries: the document is
// refused where that declaration starts, so no entity is ever declared,
// let alone expanded or fetched. False as well when the parser (expat)
// cannot be loaded.
bool ReadWsdMessage(std::string_view bytes, WsdMessage& message);

#endif  // QUELVARO_SPOOLER_WSD_WSD_MESSAGE_H
