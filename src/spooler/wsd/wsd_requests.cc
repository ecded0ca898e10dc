// SOAP 1.2 envelopes, written out whole: each is a few hundred bytes, with
// only the message ID and an endpoint's address filled in.
#include "spooler/wsd/wsd_requests.h"

#include <sys/random.h>

#include <cstdint>
#include <cstdio>
#include <random>

namespace {

// The envelope's start: the namespaces of the version, and the header's
// To, Action and MessageID.
std::string Head(WsdVersion version, const std::string& to,
                 const std::string& action, const std::string& message_id) {
  const WsdNamespaces& names = kWsdNamespaces[version];
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>") +
         "<soap:Envelope xmlns:soap=\"" + kSoapNamespace + "\" xmlns:wsa=\"" +
         names.addressing + "\" xmlns:wsd=\"" + names.discovery +
         "\" xmlns:wprt=\"" + kPrintNamespace + "\"><soap:Header><wsa:To>" +
         XmlEscaped(to) + "</wsa:To><wsa:Action>" + action +
         "</wsa:Action><wsa:MessageID>" + message_id + "</wsa:MessageID>";
}

// Sixteen random bytes: the kernel's, or (where getrandom fails, on a
// kernel before 3.17) the C++ library's random device.
void RandomBytes(std::uint8_t (&bytes)[16]) {
  if (getrandom(bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes)) {
    return;
  }
  std::random_device device;
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(device());
}

}  // namespace

std::string NewMessageId() {
  std::uint8_t bytes[16];
  RandomBytes(bytes);
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5],
                bytes[6], bytes[7], bytes[8], bytes[9], bytes[10], bytes[11],
                bytes[12], bytes[13], bytes[14], bytes[15]);
  return std::string("urn:uuid:") + text;
}

std::string ProbeMessage(WsdVersion version, const std::string& message_id) {
  const WsdNamespaces& names = kWsdNamespaces[version];
  return Head(version, names.discovery_to,
              std::string(names.discovery) + "/Probe", message_id) +
         "</soap:Header><soap:Body><wsd:Probe><wsd:Types>wprt:" +
         kPrintDeviceType + "</wsd:Types></wsd:Probe></soap:Body></soap:Envelope>";
}

std::string ResolveMessage(WsdVersion version, const std::string& message_id,
                           const std::string& address) {
  const WsdNamespaces& names = kWsdNamespaces[version];
  return Head(version, names.discovery_to,
              std::string(names.discovery) + "/Resolve", message_id) +
         "</soap:Header><soap:Body><wsd:Resolve><wsa:EndpointReference>"
         "<wsa:Address>" + XmlEscaped(address) +
         "</wsa:Address></wsa:EndpointReference></wsd:Resolve></soap:Body>"
         "</soap:Envelope>";
}

std::string GetMessage(WsdVersion version, const std::string& message_id,
                       const std::string& address) {
  const WsdNamespaces& names = kWsdNamespaces[version];
  return Head(version, address, kTransferGet, message_id) +
         "<wsa:ReplyTo><wsa:Address>" + names.anonymous +
         "</wsa:Address></wsa:ReplyTo></soap:Header><soap:Body/></soap:Envelope>";
}

std::string XmlEscaped(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&apos;"; break;
      // Kept as it is: a parser would read a carriage return as a line feed.
      case '\r': escaped += "&#13;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}
