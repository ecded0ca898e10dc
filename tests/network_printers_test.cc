// What DNS-SD finds, as the Network scope's records.
#include <gtest/gtest.h>

#include "spooler/dnssd/network_printers.h"

namespace {

DnssdService Service(const std::string& name, const std::string& type,
                     int port, std::map<std::string, std::string> txt) {
  return {name, type, "quelvaro-net.local", "127.0.0.1", port, std::move(txt)};
}

std::wstring Text(LPCWSTR text) { return text == nullptr ? L"(null)" : text; }

TEST(NetworkPrinters, OneRecordPerInstanceFromItsTxtRecord) {
  // In the order discovery gives them: by name, ipp before ipps.
  const PrinterList list = NetworkPrinters({
      Service("Etikettendrucker S\xC3\xBC" "d \xE2\x9C\x93", "_ipp._tcp", 8631,
              {{"rp", "ipp/print"}, {"ty", "Label 1"}, {"note", "Lager"}}),
      Service("Etikettendrucker S\xC3\xBC" "d \xE2\x9C\x93", "_ipps._tcp", 8631,
              {{"rp", "ipp/print"}}),
      Service("Nur sicher", "_ipps._tcp", 631, {}),
      Service("Shared @ host", "_ipp._tcp", 631,
              {{"rp", "printers/Shared"}, {"printer-type", "0x801046"}}),
  });
  ASSERT_EQ(list.printers.size(), 3u);
  const PRINTER_INFO_1& label = list.printers[0].level1;
  EXPECT_EQ(label.Flags, static_cast<DWORD>(PRINTER_ENUM_ICON8));
  EXPECT_EQ(Text(label.pName), L"Etikettendrucker Süd ✓");
  EXPECT_EQ(Text(label.pDescription), L"Etikettendrucker Süd ✓,Label 1,Lager");
  EXPECT_EQ(Text(label.pComment), L"ipp://quelvaro-net.local:8631/ipp/print");
  EXPECT_EQ(Text(list.printers[1].level1.pDescription), L"Nur sicher,,");
  EXPECT_EQ(Text(list.printers[1].level1.pComment), L"ipps://quelvaro-net.local/");
  EXPECT_EQ(Text(list.printers[2].level1.pComment),
            L"ipp://quelvaro-net.local/printers/Shared");
  // Only the queue a print server shares is a shared one.
  EXPECT_EQ(list.printers[0].level2.Attributes,
            static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK));
  EXPECT_EQ(list.printers[2].level2.Attributes,
            static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK |
                               PRINTER_ATTRIBUTE_SHARED));
}

TEST(NetworkPrinters, LpdAndRawSocketPrintersOnceEachInTheOrderOfTheirTypes) {
  // In the order of names, then types (bytes): raw before LPD.
  DnssdService unresolved;
  unresolved.instance_name = "Ungeloest";
  unresolved.service_type = "_ipp._tcp";
  unresolved.resolved = false;
  const PrinterList list = NetworkPrinters({
      Service("Alt", "_pdl-datastream._tcp", 9100, {{"ty", "Raw"}}),
      Service("Alt", "_printer._tcp", 515, {{"rp", "lp1"}, {"ty", "Lpd"}}),
      Service("Nur roh", "_pdl-datastream._tcp", 9101, {}),
      Service("Schlange", "_printer._tcp", 5515,
              {{"rp", "printers/x"}, {"printer-type", "0x1"}}),
      unresolved,
      Service("Ungeloest", "_printer._tcp", 515, {{"rp", "q"}}),
      Service("Vier", "_ipp._tcp", 631, {{"rp", "ipp/print"}}),
      Service("Vier", "_ipps._tcp", 631, {{"rp", "ipp/print"}}),
      Service("Vier", "_pdl-datastream._tcp", 9100, {}),
      Service("Vier", "_printer._tcp", 515, {{"rp", "auto"}}),
  });
  ASSERT_EQ(list.printers.size(), 5u);
  EXPECT_EQ(Text(list.printers[0].level1.pComment), L"lpd://quelvaro-net.local/lp1");
  EXPECT_EQ(Text(list.printers[0].level1.pDescription), L"Alt,Lpd,");
  EXPECT_EQ(Text(list.printers[1].level1.pComment), L"socket://quelvaro-net.local:9101");
  // LPD shares no queue, whatever its TXT record says.
  EXPECT_EQ(Text(list.printers[2].level1.pComment),
            L"lpd://quelvaro-net.local:5515/printers/x");
  EXPECT_EQ(list.printers[2].level2.Attributes,
            static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK));
  // An IPP service not resolved gives way to the LPD one that was.
  EXPECT_EQ(Text(list.printers[3].level1.pComment), L"lpd://quelvaro-net.local/q");
  EXPECT_EQ(Text(list.printers[4].level1.pName), L"Vier");
  EXPECT_EQ(Text(list.printers[4].level1.pComment),
            L"ipp://quelvaro-net.local/ipp/print");
}

TEST(NetworkPrinters, ASharedQueueHasAPrinterTypeAndAQueuesResource) {
  EXPECT_TRUE(IsSharedQueue(Service("a", "_ipp._tcp", 631,
      {{"rp", "classes/All"}, {"printer-type", "0x1"}})));
  EXPECT_FALSE(IsSharedQueue(Service("a", "_ipp._tcp", 631,
      {{"rp", "ipp/print"}, {"printer-type", "0x1"}})));
  EXPECT_FALSE(IsSharedQueue(Service("a", "_ipp._tcp", 631,
      {{"rp", "printers/x"}})));
}

}  // namespace
