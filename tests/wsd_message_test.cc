// WSD answers read: the parts wanted, whatever the prefixes, and documents
// that are hostile refused before they cost anything.
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>
#include <cstdlib>

#include "slowness.h"
#include "spooler/run_limits.h"
#include "spooler/wsd/wsd_message.h"
#include "spooler/wsd/wsd_target.h"

namespace {

// A ProbeMatches answer as Windows and most printers write it (April 2005).
const char kProbeMatches[] = R"(<?xml version="1.0" encoding="utf-8"?>
<soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope"
 xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing"
 xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery"
 xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof"
 xmlns:wprt="http://schemas.microsoft.com/windows/2006/08/wdp/print">
<soap:Header><wsa:MessageID>urn:uuid:answer</wsa:MessageID>
<wsa:RelatesTo>
  urn:uuid:probe-1 </wsa:RelatesTo></soap:Header>
<soap:Body><wsd:ProbeMatches>
<wsd:ProbeMatch><wsa:EndpointReference><wsa:Address> urn:uuid:drucker-1
</wsa:Address></wsa:EndpointReference>
<wsd:Types>wsdp:Device
 wprt:PrintDeviceType</wsd:Types>
<wsd:XAddrs>http://192.0.2.5:5357/eins  http://[2001:db8::5]:5357/eins</wsd:XAddrs>
</wsd:ProbeMatch>
<wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:rechner</wsa:Address>
</wsa:EndpointReference><wsd:Types>wsdp:Device pub:Computer</wsd:Types>
</wsd:ProbeMatch>
</wsd:ProbeMatches></soap:Body></soap:Envelope>)";

// The same in WS-Discovery 1.1 with prefixes of its own: the discovery
// namespace the default one, the print type's prefix declared on Types; a
// prefix "wprt" bound elsewhere names no print device.
const char kOtherPrefixes[] = R"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope"
 xmlns:w="http://www.w3.org/2005/08/addressing" xmlns:wprt="urn:not-print">
<e:Header><w:RelatesTo>urn:uuid:probe-2</w:RelatesTo></e:Header>
<e:Body><ProbeMatches xmlns="http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01">
<ProbeMatch><w:EndpointReference><w:Address>urn:uuid:a</w:Address></w:EndpointReference>
<Types xmlns:x="http://schemas.microsoft.com/windows/2006/08/wdp/print">x:PrintDeviceType</Types></ProbeMatch>
<ProbeMatch><w:EndpointReference><w:Address>urn:uuid:b</w:Address></w:EndpointReference>
<Types>wprt:PrintDeviceType</Types></ProbeMatch>
<ProbeMatch><w:EndpointReference><w:Address>urn:uuid:c</w:Address></w:EndpointReference>
<Types><q xmlns="urn:x"/>PrintDeviceType</Types></ProbeMatch>
<ProbeMatch><w:EndpointReference><w:Address>urn:uuid:d</w:Address></w:EndpointReference>
<d:Types xmlns:d="http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01"
 xmlns="http://schemas.microsoft.com/windows/2006/08/wdp/print">PrintDeviceType</d:Types>
<XAddrs>https://192.0.2.6/x</XAddrs></ProbeMatch>
</ProbeMatches></e:Body></e:Envelope>)";

// Metadata with the name given twice and in two places it does not count.
std::string Metadata(const std::string& names) {
  return R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"
 xmlns:mex="http://schemas.xmlsoap.org/ws/2004/09/mex"
 xmlns:dp="http://schemas.xmlsoap.org/ws/2006/02/devprof"><s:Header/><s:Body>
<mex:Metadata><mex:MetadataSection><dp:ThisModel><dp:FriendlyName>Modell</dp:FriendlyName>
<dp:ModelName xml:lang="de">Belvantro WS 9</dp:ModelName><dp:ModelName>Other</dp:ModelName>
</dp:ThisModel></mex:MetadataSection><mex:MetadataSection><dp:ThisDevice>)" +
         names + R"(</dp:ThisDevice></mex:MetadataSection></mex:Metadata></s:Body></s:Envelope>)";
}

TEST(WsdMessage, ProbeMatchesReadWhateverThePrefixes) {
  WsdMessage message;
  ASSERT_TRUE(ReadWsdMessage(kProbeMatches, message));
  EXPECT_EQ(message.relates_to, "urn:uuid:probe-1");
  EXPECT_EQ(message.version, kWsd2005);
  EXPECT_FALSE(message.resolve_matches);
  ASSERT_EQ(message.matches.size(), 2u);
  EXPECT_EQ(message.matches[0].address, "urn:uuid:drucker-1");
  EXPECT_TRUE(message.matches[0].print_device);
  EXPECT_EQ(message.matches[0].xaddrs,
            (std::vector<std::string>{"http://192.0.2.5:5357/eins",
                                      "http://[2001:db8::5]:5357/eins"}));
  // pub is bound nowhere, and names no print device anyway.
  EXPECT_FALSE(message.matches[1].print_device);

  ASSERT_TRUE(ReadWsdMessage(kOtherPrefixes, message));
  EXPECT_EQ(message.relates_to, "urn:uuid:probe-2");
  EXPECT_EQ(message.version, kWsd2009);
  ASSERT_EQ(message.matches.size(), 4u);
  EXPECT_TRUE(message.matches[0].print_device);
  EXPECT_FALSE(message.matches[1].print_device);
  // A default namespace declared by a child of Types is out of its scope.
  EXPECT_FALSE(message.matches[2].print_device);
  EXPECT_TRUE(message.matches[3].print_device);
  EXPECT_EQ(message.matches[3].xaddrs, std::vector<std::string>{"https://192.0.2.6/x"});
}

TEST(WsdMessage, ResolveMatchesAndAnswersOutsideTheirPlaceSayNothing) {
  WsdMessage message;
  ASSERT_TRUE(ReadWsdMessage(
      R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"
 xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"
 xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header>
<a:RelatesTo>urn:uuid:r</a:RelatesTo><a:RelatesTo>urn:uuid:second</a:RelatesTo></s:Header>
<s:Body><d:ResolveMatches><d:ResolveMatch><a:EndpointReference><a:Address>urn:uuid:x</a:Address>
</a:EndpointReference><d:XAddrs>http://192.0.2.7/</d:XAddrs></d:ResolveMatch></d:ResolveMatches>
<d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:stray</a:Address></a:EndpointReference>
</d:ProbeMatch></s:Body></s:Envelope>)",
      message));
  EXPECT_EQ(message.relates_to, "urn:uuid:r");
  EXPECT_TRUE(message.resolve_matches);
  ASSERT_EQ(message.matches.size(), 1u);
  EXPECT_EQ(message.matches[0].address, "urn:uuid:x");

  // RelatesTo in the body, matches outside the body, a SOAP 1.1 envelope:
  // nothing.
  ASSERT_TRUE(ReadWsdMessage(
      R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"
 xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"
 xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header>
<a:RelatesTo>urn:uuid:p</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch>
<a:EndpointReference><a:Address>urn:uuid:y</a:Address></a:EndpointReference></d:ProbeMatch>
</d:ProbeMatches></s:Body></s:Envelope>)",
      message));
  EXPECT_EQ(message.relates_to, "");
  EXPECT_TRUE(message.matches.empty());
}

TEST(WsdMessage, FirstFriendlyNameOfThisDeviceKeptByteForByte) {
  WsdMessage message;
  // Tab, line feed, a carriage return by reference, C1 CSI (U+009B), a
  // line separator and blanks around: all kept.
  ASSERT_TRUE(ReadWsdMessage(
      Metadata("<dp:FriendlyName xml:lang=\"en\"> Büro\t2\n&#13;\xC2\x9B" "2J\xE2\x80\xA8 "
               "</dp:FriendlyName><dp:FriendlyName xml:lang=\"de\">Zweiter</dp:FriendlyName>"),
      message));
  ASSERT_TRUE(message.friendly_name.has_value());
  EXPECT_EQ(*message.friendly_name, " B\xC3\xBCro\t2\n\r\xC2\x9B" "2J\xE2\x80\xA8 ");
  ASSERT_TRUE(message.model_name.has_value());
  EXPECT_EQ(*message.model_name, "Belvantro WS 9");

  // An empty name is a name; no ThisDevice name at all is none.
  ASSERT_TRUE(ReadWsdMessage(Metadata("<dp:FriendlyName/>"), message));
  EXPECT_EQ(message.friendly_name, std::optional<std::string>(""));
  ASSERT_TRUE(ReadWsdMessage(Metadata("<dp:SerialNumber>1</dp:SerialNumber>"), message));
  EXPECT_FALSE(message.friendly_name.has_value());
  // A raw escape is no XML character: the document is refused.
  EXPECT_FALSE(ReadWsdMessage(Metadata("<dp:FriendlyName>\x1B[2J</dp:FriendlyName>"), message));
}

TEST(WsdMessage, HostileDocumentsRefusedBeforeTheyCostAnything) {
  // Ten levels of ten: 10^10 expansions, were any entity ever declared.
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE s:Envelope [<!ENTITY e0 \"lol\">";
  for (int i = 1; i <= 10; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  bomb += "]>" + Metadata("<dp:FriendlyName>&e10;</dp:FriendlyName>");
  WsdMessage message;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadWsdMessage(bomb, message));
  EXPECT_LT(std::chrono::steady_clock::now() - start, Scaled(std::chrono::milliseconds(50)));
  EXPECT_FALSE(message.friendly_name.has_value());
  // A document type of any kind, and an entity it would have to declare.
  EXPECT_FALSE(ReadWsdMessage("<!DOCTYPE x SYSTEM \"file:///etc/passwd\">" +
                                  Metadata("<dp:FriendlyName>n</dp:FriendlyName>"),
                              message));
  EXPECT_FALSE(ReadWsdMessage(Metadata("<dp:FriendlyName>&e;</dp:FriendlyName>"), message));

  // 1 MiB at most, counted before parsing: the same padding one byte over.
  const std::string name = Metadata("<dp:FriendlyName>n</dp:FriendlyName>");
  const std::string pad(kMostWsdAnswerBytes - name.size() - 7, 'x');
  const std::string largest = name + "<!--" + pad + "-->";
  ASSERT_EQ(largest.size(), kMostWsdAnswerBytes);
  EXPECT_TRUE(ReadWsdMessage(largest, message));
  EXPECT_FALSE(ReadWsdMessage(largest + " ", message));
  EXPECT_FALSE(message.friendly_name.has_value());

  // Markup the parser would keep: too many tags, attributes, levels.
  std::string tags, attributes, deep;
  for (std::size_t i = 0; i <= kMostWsdMarkup; ++i) tags += "<t" + std::to_string(i) + "/>";
  for (std::size_t i = 0; i <= kMostWsdMarkup; ++i) attributes += " a" + std::to_string(i) + "=''";
  for (std::size_t i = 0; i <= kMostWsdDepth; ++i) deep += "<d>";
  for (std::size_t i = 0; i <= kMostWsdDepth; ++i) deep += "</d>";
  EXPECT_FALSE(ReadWsdMessage(Metadata(tags), message));
  EXPECT_FALSE(ReadWsdMessage(Metadata("<x" + attributes + "/>"), message));
  EXPECT_FALSE(ReadWsdMessage(Metadata(deep), message));
  EXPECT_FALSE(ReadWsdMessage("<s:Envelope", message));
}

TEST(WsdTarget, FirstXAddrThatIsHttpToAnAddress) {
  const auto first = [](std::vector<std::string> xaddrs) {
    const std::optional<WsdTarget> target = FirstUsableXAddr(xaddrs, 7);
    return target ? target->xaddr + " " + target->host + " " +
                        std::to_string(target->port) + " " + target->resource +
                        (target->tls ? " tls" : "")
                  : std::string("none");
  };
  EXPECT_EQ(first({"soap.udp://192.0.2.1:3702", "http://drucker.local/x",
                   "http:///run/cups/cups.sock", "http://192.0.2.5:5357/a?b"}),
            "http://192.0.2.5:5357/a?b 192.0.2.5 5357 /a?b");
  EXPECT_EQ(first({"HTTPS://user:secret@[2001:db8::5]/p"}),
            "HTTPS://[2001:db8::5]/p 2001:db8::5 443 /p tls");
  EXPECT_EQ(first({"http://2001:db8::5/p", "http://[192.0.2.1]/", "http://192.0.2.1:0/",
                   "http://192.0.2.1:99999/", "http://192.0.2.1x/"}),
            "none");
  // A link-local address without a zone is on the interface the answer
  // came on; one with a zone keeps it.
  const std::optional<WsdTarget> local = FirstUsableXAddr({"http://[fe80::1]:80/"}, 7);
  ASSERT_TRUE(local.has_value());
  ASSERT_EQ(local->addresses.size(), 1u);
  EXPECT_EQ(reinterpret_cast<const sockaddr_in6&>(local->addresses[0].address).sin6_scope_id,
            7u);
  EXPECT_EQ(first({"http://[fe80::1%251]/"}), "http://[fe80::1%251]/ fe80::1%1 80 /");
}

}  // namespace
