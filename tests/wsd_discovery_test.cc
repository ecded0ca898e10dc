// The WSD discovery run in the test process: a UDP socket on loopback
// stands in for the multicast group and for the devices that answer there,
// the scripted servers for their metadata endpoints.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>

#include "scripted_servers.h"
#include "slowness.h"
#include "spooler/run_limits.h"
#include "spooler/wsd/wsd_discovery.h"
#include "spooler/wsd/wsd_printers.h"

namespace {

using std::chrono::milliseconds;

// The group's stand-in: what the discovery sent it, and where from.
struct Group {
  WsdSocket socket{nullptr, &CloseWsdSocket};
  int fd = -1;
  int port = 0;
  sockaddr_in sender = {};
  std::vector<std::string> received;
};

void OpenGroup(Group& group) {
  group.fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  ASSERT_GE(group.fd, 0);
  group.socket.reset(new WsdSocketFd{group.fd});
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(group.fd, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(getsockname(group.fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
  group.port = ntohs(address.sin_port);
}

// Takes what has come to the group; returns how many datagrams.
std::size_t Receive(Group& group) {
  std::size_t count = 0;
  char buffer[65536];
  socklen_t size = sizeof group.sender;
  for (ssize_t got; (got = recvfrom(group.fd, buffer, sizeof buffer, 0,
                                    reinterpret_cast<sockaddr*>(&group.sender),
                                    &size)) >= 0;) {
    group.received.emplace_back(buffer, static_cast<std::size_t>(got));
    ++count;
  }
  return count;
}

void Answer(const Group& group, const std::string& message) {
  sendto(group.fd, message.data(), message.size(), 0,
         reinterpret_cast<const sockaddr*>(&group.sender), sizeof group.sender);
}

std::string MessageIdOf(const std::string& message) {
  const std::size_t start = message.find("MessageID>") + 10;
  return message.substr(start, message.find('<', start) - start);
}

struct Match {
  std::string address;
  std::string types;   // prefixes: p print, c a computer's
  std::string xaddrs;
};

// A ProbeMatches (or ResolveMatches) answer relating to the message given.
std::string Matches(const std::string& relates_to, const std::vector<Match>& matches,
                    WsdVersion version = kWsd2005, const char* kind = "Probe") {
  const WsdNamespaces& names = kWsdNamespaces[version];
  std::string text = std::string("<s:Envelope xmlns:s=\"") + kSoapNamespace +
                     "\" xmlns:a=\"" + names.addressing + "\" xmlns:d=\"" +
                     names.discovery + "\" xmlns:p=\"" + kPrintNamespace +
                     "\" xmlns:c=\"http://schemas.microsoft.com/windows/pub/2005/07\">"
                     "<s:Header>" +
                     (relates_to.empty() ? "" : "<a:RelatesTo>" + relates_to + "</a:RelatesTo>") +
                     "</s:Header><s:Body><d:" + kind + "Matches>";
  for (const Match& match : matches) {
    text += std::string("<d:") + kind + "Match><a:EndpointReference><a:Address>" +
            match.address + "</a:Address></a:EndpointReference><d:Types>" + match.types +
            "</d:Types>" + (match.xaddrs.empty() ? "" : "<d:XAddrs>" + match.xaddrs + "</d:XAddrs>") +
            "</d:" + kind + "Match>";
  }
  return text + "</d:" + kind + "Matches></s:Body></s:Envelope>";
}

// A device's metadata, named after the path it was asked at.
const char kMetadata[] =
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:m=\"http://schemas.xmlsoap.org/ws/2004/09/mex\" "
    "xmlns:w=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\"><s:Body><m:Metadata>"
    "<m:MetadataSection><w:ThisModel><w:ModelName>WS 9</w:ModelName></w:ThisModel>"
    "</m:MetadataSection><m:MetadataSection><w:ThisDevice><w:FriendlyName>Drucker %PATH%"
    "</w:FriendlyName></w:ThisDevice></m:MetadataSection></m:Metadata></s:Body></s:Envelope>";

std::string XAddr(const ScriptedServers& servers, std::size_t host,
                  const std::string& path) {
  return "http://" + servers.address + ":" + std::to_string(servers.hosts[host].port) +
         path;
}

// Stops the servers when the test ends, however it ends.
using Stopping = std::unique_ptr<ScriptedServers, void (*)(ScriptedServers*)>;
Stopping StopAtEnd(ScriptedServers& servers) {
  return Stopping(&servers, [](ScriptedServers* started) { StopScriptedServers(*started); });
}

WsdSettings AtGroup(const Group& group) {
  WsdSettings settings;
  settings.destinations = {"127.0.0.1"};
  settings.port = group.port;
  return settings;
}

// One turn of the loop, waking at least every 10 ms.
void Turn(WsdDiscovery& discovery) {
  PollSet set = NewPollSet(Now() + milliseconds(10));
  WsdPolls(discovery, set, Now());
  WaitForPolls(set);
  ContinueWsdDiscovery(discovery, set, Now());
}

// Turns until `done` says so; false when it did not come to that within
// `most`, or the discovery was over before.
bool TurnUntil(WsdDiscovery& discovery, const std::function<bool()>& done,
               milliseconds most = milliseconds(10000)) {
  const Deadline end = Now() + most;
  while (Now() < end) {
    if (done()) return true;
    if (IsWsdDiscoveryOver(discovery, Now())) return done();
    Turn(discovery);
  }
  return false;
}

// Turns until the discovery is over (each turn, `each`); whether it was
// within `most`.
bool TurnUntilOver(WsdDiscovery& discovery, milliseconds most,
                   const std::function<void()>& each = [] {}) {
  return TurnUntil(discovery, [&] {
    each();
    return IsWsdDiscoveryOver(discovery, Now());
  }, most);
}

std::string NameOf(const WsdDevice& device) {
  return device.friendly_name.value_or("(" + device.address + ")");
}

TEST(WsdDiscovery, PrintDevicesAnsweringOurProbesFoundOnceAndNamed) {
  Group group;
  OpenGroup(group);
  ScriptedServers servers;
  servers.hosts.resize(3);
  servers.hosts[0].soap_body = kMetadata;
  servers.hosts[1].kind = kSilent;
  servers.hosts[2].kind = kFlooding;
  servers.hosts[2].flood_bytes = 3 << 20;
  ASSERT_TRUE(StartScriptedServers(servers));
  const Stopping stopping = StopAtEnd(servers);
  const auto at = [&servers](std::size_t host, const std::string& path) {
    return XAddr(servers, host, path);
  };

  WsdDiscovery discovery;
  const Deadline started = Now();
  StartWsdDiscovery(discovery, AtGroup(group), started + kDiscoveryBound,
                    started + milliseconds(2500));
  // Both versions' Probes, each sent twice, each with its own ID.
  ASSERT_TRUE(TurnUntil(discovery, [&] { Receive(group); return group.received.size() >= 4; }));
  ASSERT_EQ(group.received.size(), 4u);
  EXPECT_NE(ntohs(group.sender.sin_port), 3702);
  std::set<std::string> ids;
  for (const std::string& probe : group.received) {
    EXPECT_NE(probe.find("<wsd:Types>wprt:PrintDeviceType</wsd:Types>"), std::string::npos);
    EXPECT_EQ(std::count(group.received.begin(), group.received.end(), probe), 2);
    ids.insert(MessageIdOf(probe));
  }
  ASSERT_EQ(ids.size(), 2u);
  const std::string old_id = MessageIdOf(group.received[0]);
  const std::string new_id = MessageIdOf(group.received[1]);
  ASSERT_NE(group.received[1].find(kWsdNamespaces[kWsd2009].discovery), std::string::npos);
  EXPECT_EQ(old_id.compare(0, 9, "urn:uuid:"), 0);

  const std::string print = "p:PrintDeviceType";
  Answer(group, Matches(old_id, {{"urn:uuid:eins", "c:Device " + print, at(0, "/eins")},
                                 {"urn:uuid:rechner", "c:Computer", at(0, "/rechner")},
                                 {"urn:uuid:still", print, at(1, "/")},
                                 {"urn:uuid:riesig", print, at(2, "/")},
                                 {"urn:uuid:ohne", print, ""}}));
  Answer(group, Matches("urn:uuid:not-ours", {{"urn:uuid:falsch", print, at(0, "/f")}}));
  Answer(group, Matches("", {{"urn:uuid:ungefragt", print, at(0, "/u")}}));
  // A device's own Probe (of any type) is no answer, and gets none.
  Answer(group, group.received[0]);
  // The same device in the other version: the first answer counts.
  Answer(group, Matches(new_id, {{"urn:uuid:eins", print, at(0, "/zwei")}}, kWsd2009));

  // The device without XAddrs is resolved, in the version it spoke.
  ASSERT_TRUE(TurnUntil(discovery, [&] { return Receive(group) > 0; }));
  const std::string resolve = group.received.back();
  EXPECT_NE(resolve.find(std::string(kWsdNamespaces[kWsd2005].discovery) + "/Resolve"),
            std::string::npos);
  EXPECT_NE(resolve.find("<wsa:Address>urn:uuid:ohne</wsa:Address>"), std::string::npos);
  Answer(group, Matches(old_id, {{"urn:uuid:ohne", print, at(0, "/falsch")}},
                        kWsd2005, "Resolve"));
  Answer(group, Matches(MessageIdOf(resolve),
                        {{"urn:uuid:ohne", "", at(0, "/ohne")}}, kWsd2005, "Resolve"));

  // Soon only the silent device is left: the huge answer was given up at
  // its bound.
  EXPECT_TRUE(TurnUntil(discovery, [&] {
    return discovery.metadata.asking.size() == 1 && discovery.metadata.waiting.empty() &&
           discovery.resolve_ids.empty();
  }, Scaled(milliseconds(1000))));
  // Over by the run's end, the silent device's bound cut short by it.
  EXPECT_TRUE(TurnUntilOver(discovery, milliseconds(4000)));
  EXPECT_LT(Now() - started, milliseconds(3000));
  const std::vector<WsdDevice> devices = EndWsdDiscovery(discovery);
  Receive(group);

  ASSERT_EQ(devices.size(), 4u);
  EXPECT_EQ(NameOf(devices[0]), "Drucker /eins");
  EXPECT_EQ(devices[0].xaddr, at(0, "/eins"));
  EXPECT_EQ(devices[0].model_name, std::optional<std::string>("WS 9"));
  EXPECT_EQ(NameOf(devices[1]), "Drucker /ohne");
  EXPECT_EQ(NameOf(devices[2]), "(urn:uuid:riesig)");
  EXPECT_EQ(NameOf(devices[3]), "(urn:uuid:still)");
  EXPECT_EQ(devices[3].xaddr, at(1, "/"));
  EXPECT_EQ(servers.requests, 4);
  // Probes twice, the one Resolve twice: nothing else went out.
  EXPECT_EQ(group.received.size(), 6u);
}

TEST(WsdDiscovery, OneHostsEndpointsTakeTurnsWithTheOtherHosts) {
  Group group;
  OpenGroup(group);
  ScriptedServers big, small;
  big.hosts.resize(1);
  big.hosts[0].soap_body = kMetadata;
  big.hosts[0].delay = milliseconds(20);
  small.hosts.resize(1);
  small.hosts[0].soap_body = kMetadata;
  small.address = "127.0.0.2";
  ASSERT_TRUE(StartScriptedServers(big));
  const Stopping stopping_big = StopAtEnd(big);
  ASSERT_TRUE(StartScriptedServers(small));
  const Stopping stopping_small = StopAtEnd(small);

  WsdDiscovery discovery;
  StartWsdDiscovery(discovery, AtGroup(group), Now() + kDiscoveryBound, Now() + kRunBound);
  ASSERT_TRUE(TurnUntil(discovery, [&] { return Receive(group) > 0; }));
  const std::string id = MessageIdOf(group.received[0]);
  // 200 endpoints of one host, 20 to a datagram, before the other's one.
  for (int first = 1; first <= 200; first += 20) {
    std::vector<Match> matches;
    for (int i = first; i < first + 20; ++i) {
      const std::string n = std::to_string(i);
      matches.push_back({"urn:uuid:" + n, "p:PrintDeviceType", XAddr(big, 0, "/" + n)});
    }
    Answer(group, Matches(id, matches));
  }
  Answer(group, Matches(id, {{"urn:uuid:x", "p:PrintDeviceType", XAddr(small, 0, "/x")}}));
  ASSERT_TRUE(TurnUntil(discovery, [&] { return small.requests == 1; }));
  EXPECT_LT(big.requests, 20);
  // At most four to the host at once, whatever the turns.
  std::size_t most_asking = 0;
  ASSERT_TRUE(TurnUntilOver(discovery, milliseconds(10000), [&] {
    most_asking = std::max(most_asking, static_cast<std::size_t>(std::count_if(
        discovery.metadata.asking.begin(), discovery.metadata.asking.end(),
        [](const WsdAsking& asking) { return asking.host == "127.0.0.1"; })));
  }));
  const std::vector<WsdDevice> devices = EndWsdDiscovery(discovery);
  ASSERT_EQ(devices.size(), 201u);
  for (const WsdDevice& device : devices) {
    EXPECT_EQ(NameOf(device), "Drucker /" + device.address.substr(9));
  }
  EXPECT_EQ(most_asking, kMostWsdMetadataPerHost);
}

TEST(WsdDiscovery, AnswersTogetherHoldNoMoreThanTheirBound) {
  Group group;
  OpenGroup(group);
  // Three hosts of four endpoints each, every answer under its own bound
  // and never whole: twelve at once, 12 MiB were they let grow.
  ScriptedServers servers[3];
  std::vector<Stopping> stopping;
  for (int h = 0; h < 3; ++h) {
    servers[h].address = "127.0.0." + std::to_string(2 + h);
    servers[h].hosts.resize(4);
    for (ScriptedHost& host : servers[h].hosts) {
      host.kind = kFlooding;
      host.flood_bytes = 900 << 10;
      host.announced_bytes = 1 << 20;
    }
    ASSERT_TRUE(StartScriptedServers(servers[h]));
    stopping.push_back(StopAtEnd(servers[h]));
  }
  WsdDiscovery discovery;
  StartWsdDiscovery(discovery, AtGroup(group), Now() + kDiscoveryBound,
                    Now() + milliseconds(1500));
  ASSERT_TRUE(TurnUntil(discovery, [&] { return Receive(group) > 0; }));
  std::vector<Match> matches;
  for (int h = 0; h < 3; ++h) {
    for (std::size_t i = 0; i < 4; ++i) {
      matches.push_back({"urn:uuid:" + std::to_string(h) + std::to_string(i),
                         "p:PrintDeviceType", XAddr(servers[h], i, "/")});
    }
  }
  Answer(group, Matches(MessageIdOf(group.received[0]), matches));
  std::size_t most_held = 0;
  EXPECT_TRUE(TurnUntilOver(discovery, milliseconds(10000), [&] {
    std::size_t held = 0;
    for (const WsdAsking& asking : discovery.metadata.asking) {
      held += HttpHeldBytes(asking.exchange);
    }
    most_held = std::max(most_held, held);
  }));
  EXPECT_EQ(EndWsdDiscovery(discovery).size(), 12u);
  EXPECT_LE(most_held, kMostWsdHeldBytes);
  EXPECT_GT(most_held, kMostWsdHeldBytes / 2);  // the bound held it, not a lull
}

TEST(WsdDiscovery, NowhereToSendIsOverAtOnceWithNothing) {
  WsdDiscovery discovery;
  WsdSettings settings;
  settings.destinations = {"printers.example", "/run/socket", ""};
  StartWsdDiscovery(discovery, settings, Now() + kDiscoveryBound, Now() + kRunBound);
  EXPECT_TRUE(IsWsdDiscoveryOver(discovery, Now()));
  EXPECT_TRUE(EndWsdDiscovery(discovery).empty());
}

TEST(WsdPrinters, RecordsInTheOrderOfNamesAsOtherNetworkPrinters) {
  std::vector<WsdDevice> devices(3);
  devices[0] = {"urn:uuid:b", "http://192.0.2.5:5357/b", std::string("Zeta\t\xE2\x9C\x93"),
                std::string("WS 9")};
  devices[1] = {"urn:uuid:a", "", std::nullopt, std::nullopt};
  devices[2] = {"urn:uuid:c", "http://192.0.2.6/", std::string("Alpha"), std::nullopt};
  const PrinterList list = WsdPrinters(devices);
  ASSERT_EQ(list.printers.size(), 3u);
  const auto text = [](LPCWSTR text) { return text == nullptr ? std::wstring(L"(null)") : text; };
  EXPECT_EQ(text(list.printers[0].level1.pName), L"Alpha");
  EXPECT_EQ(text(list.printers[0].level1.pDescription), L"Alpha,,");
  EXPECT_EQ(text(list.printers[1].level1.pName), L"Zeta\t✓");
  EXPECT_EQ(text(list.printers[1].level1.pDescription), L"Zeta\t✓,WS 9,");
  EXPECT_EQ(text(list.printers[1].level1.pComment), L"http://192.0.2.5:5357/b");
  EXPECT_EQ(list.printers[1].level1.Flags, static_cast<DWORD>(PRINTER_ENUM_ICON8));
  EXPECT_EQ(text(list.printers[1].level2.pDriverName), L"WS 9");
  EXPECT_EQ(text(list.printers[1].level2.pPortName), L"http://192.0.2.5:5357/b");
  EXPECT_EQ(list.printers[1].level2.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK));
  EXPECT_EQ(text(list.printers[2].level1.pName), L"urn:uuid:a");
  EXPECT_EQ(text(list.printers[2].level1.pComment), L"");
}

}  // namespace
