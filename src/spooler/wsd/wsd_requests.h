// The messages the program sends to WSD devices: Probes and Resolves over
// UDP, and the Get that asks a device for its metadata over HTTP. It sends
// nothing else: no Hello, no Bye, no answer to anyone's Probe.
#ifndef QUELVARO_SPOOLER_WSD_WSD_REQUESTS_H
#define QUELVARO_SPOOLER_WSD_WSD_REQUESTS_H

#include <string>

#include "spooler/wsd/wsd_namespaces.h"

// A fresh message ID, "urn:uuid:" and a random (version 4) UUID, from the
// kernel's random source: a device that did not see the message cannot
// answer it.
std::string NewMessageId();

// A Probe for print devices (wprt:PrintDeviceType), to the discovery
// multicast address.
std::string ProbeMessage(WsdVersion version, const std::string& message_id);

// A Resolve of the endpoint whose address is given, to the discovery
// multicast address: the device answers with its transport addresses.
std::string ResolveMessage(WsdVersion version, const std::string& message_id,
                           const std::string& address);

// A WS-Transfer Get to the endpoint whose address is given: the device
// answers with its metadata on the same connection.
std::string GetMessage(WsdVersion version, const std::string& message_id,
                       const std::string& address);

// Text as an element's content or an attribute's value: &, <, >, ", ' and
// carriage return as references.
std::string XmlEscaped(const std::string& text);

#endif  // QUELVARO_SPOOLER_WSD_WSD_REQUESTS_H
