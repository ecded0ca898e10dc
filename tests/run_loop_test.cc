// The run's loop, run in the test process: scripted IPP hosts on loopback
// ports, a fake Avahi on a peer-to-peer D-Bus connection, and the clock
// moved by the test where time matters.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "run_loop_harness.h"
#include "spooler/dnssd/network_printers.h"

namespace {

using std::chrono::milliseconds;

TEST(RunLoop, EveryServerIsAskedOverOneConnectionAndHandedOver) {
  ScriptedServers servers;
  servers.hosts = Network(300, kAnswering, milliseconds(10));
  Start(servers);
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, Settings(servers, kPlenty), Now());
  TurnUntilOver(loop, handoff, nullptr);
  EXPECT_TRUE(handoff.view_given && handoff.view.has_value());
  EXPECT_EQ(handoff.view->printers.size(), 300u);
  EXPECT_TRUE(handoff.discovery_given);
  EXPECT_EQ(handoff.servers.size(), 301u);  // the CUPS server's own too
  EXPECT_EQ(CountExpanded(handoff, servers), 300u);
  // The CUPS server once; each printer over one connection, asked what it
  // is, then for itself.
  EXPECT_EQ(servers.connections, 301);
  EXPECT_EQ(servers.requests, 1 + 2 * 300);
  EndRunLoop(loop, handoff);
  EXPECT_TRUE(handoff.over);
  StopScriptedServers(servers);
}

TEST(RunLoop, TheRunsEndEndsEveryExchangeThatIsStillBusy) {
  ScriptedServers servers;
  servers.hosts = Network(50, kSilent, milliseconds(0));
  Start(servers);
  RunLoop loop;
  RunHandoff handoff;
  const Deadline started = Now();
  StartRunLoop(loop, Settings(servers, kPlenty), started);
  // Until every silent printer holds its request.
  TurnUntilOver(loop, handoff, nullptr, [&] { return servers.requests < 51; });
  ASSERT_EQ(servers.requests, 51);
  ASSERT_FALSE(IsRunLoopOver(loop, Now()));
  // The clock moved to the run's end: one turn ends everything.
  const Deadline end = started + kRunBound;
  ContinueRunLoop(loop, NewPollSet(end), handoff, end);
  EXPECT_TRUE(IsRunLoopOver(loop, end));
  EndRunLoop(loop, handoff);
  EXPECT_EQ(handoff.servers.size(), 51u);
  EXPECT_EQ(handoff.answers.size(), 50u);
  for (const auto& [name, printers] : handoff.answers) {
    EXPECT_TRUE(printers->printers.empty());
  }
  // Every connection is closed: the hosts see them go.
  for (int i = 0; i < 1000 && servers.open > 0; ++i) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(servers.open, 0);
  StopScriptedServers(servers);
}

TEST(RunLoop, ServersWaitForDescriptorsAndTakeThemWhenOthersGiveThemBack) {
  ScriptedServers servers;
  servers.hosts = Network(100, kAnswering, milliseconds(5));
  Start(servers);
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, Settings(servers, {8, kMostRunAnswerBytes}), Now());
  std::size_t most_asked = 0;
  TurnUntilOver(loop, handoff, nullptr, [&] {
    most_asked = std::max(most_asked, loop.registry.at_stage[kServerAsking]);
    return true;
  });
  EXPECT_EQ(CountExpanded(handoff, servers), 100u);
  EXPECT_EQ(most_asked, 8u);
  EXPECT_EQ(loop.pool.descriptors_left, 8u);  // all of them back
  EndRunLoop(loop, handoff);
  StopScriptedServers(servers);
}

TEST(RunLoop, AnswersUnderWayHoldTheCapAtMostAndTheFloodIsGivenUp) {
  const std::size_t printers = AtMostHosts(2000);
  ScriptedServers servers;
  servers.hosts = Network(printers, kAnswering, milliseconds(10));
  // Two hosts that send 4 MiB each, well past the cap.
  for (int i = 0; i < 2; ++i) {
    ScriptedHost flood;
    flood.kind = kFlooding;
    flood.name = "Flut";
    flood.flood_bytes = std::size_t{4} << 20;
    servers.hosts.insert(servers.hosts.begin() + 1 + i * 100, flood);
  }
  Start(servers);
  const RunBudget budget = {4096, 64 * kAnswerReserveBytes};
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, Settings(servers, budget), Now());
  std::size_t over_cap = 0;
  std::size_t most_asked = 0;
  TurnUntilOver(loop, handoff, nullptr, [&] {
    if (loop.pool.held_bytes > budget.answer_bytes) ++over_cap;
    most_asked = std::max(most_asked, loop.registry.at_stage[kServerAsking]);
    return true;
  });
  EXPECT_EQ(over_cap, 0u);
  // As many at once as have their reserve.
  EXPECT_EQ(most_asked, 64u);
  std::size_t expanded = 0;
  for (const ScriptedHost& host : servers.hosts) {
    if (host.kind == kFlooding) {
      const PrinterList* answer = Answer(handoff, HostServerName(host));
      ASSERT_NE(answer, nullptr);
      EXPECT_TRUE(answer->printers.empty());
    } else if (host.queues.empty() && Expanded(handoff, host)) {
      ++expanded;
    }
  }
  EXPECT_EQ(expanded, printers);
  EXPECT_EQ(loop.pool.held_bytes, 0u);
  EndRunLoop(loop, handoff);
  StopScriptedServers(servers);
}

TEST(Discovery, EveryInstanceIsListedAndEachTypeIsResolvedInTurn) {
  // A loud device's 2,000 IPP instances, named first; three ordinary
  // printers of other hosts, two IPPS ones and an SMB server after them.
  // (Under Valgrind the browse alone would take longer than discovery's
  // bound: a tenth of it there.)
  const int loud = UnderValgrind() ? 100 : 2000;
  const std::size_t looked_at = UnderValgrind() ? 20 : 100;
  FakeAvahi avahi;
  for (int i = 0; i < loud; ++i) {
    avahi.services.push_back(Service("Laut " + std::to_string(10000 + i), "_ipp._tcp"));
  }
  for (const char* name : {"Buero", "Flur", "Lager"}) {
    avahi.services.push_back(Service(name, "_ipp._tcp"));
  }
  avahi.services.push_back(Service("Sicher 1", "_ipps._tcp"));
  avahi.services.push_back(Service("Sicher 2", "_ipps._tcp"));
  avahi.services.push_back(Service("Dateien", "_smb._tcp"));
  ASSERT_TRUE(StartFakeAvahi(avahi));
  ScriptedServers servers;
  servers.hosts = Network(0, kAnswering, milliseconds(0));
  Start(servers);
  RunLoop loop;
  RunHandoff handoff;
  const Deadline started = Now();
  StartRunLoop(loop, Settings(servers, kPlenty, avahi.address), started);
  loop.browse.most_resolving = 3;
  TurnUntilOver(loop, handoff, &avahi,
                [&] { return avahi.resolved.size() < looked_at; });
  ASSERT_GE(avahi.resolved.size(), looked_at);
  // The types in turn: the IPPS and SMB instances, named after the loud
  // device's, are resolved among the first few.
  const std::set<std::string> first(avahi.resolved.begin(),
                                    avahi.resolved.begin() + looked_at);
  EXPECT_EQ(first.count("_ipps._tcp Sicher 1"), 1u);
  EXPECT_EQ(first.count("_ipps._tcp Sicher 2"), 1u);
  EXPECT_EQ(first.count("_smb._tcp Dateien"), 1u);
  // Discovery's bound, on the clock: every instance named is listed, the
  // ordinary printers among them, resolved or not.
  const Deadline bound = started + kDiscoveryBound;
  ContinueRunLoop(loop, NewPollSet(bound), handoff, bound);
  ASSERT_TRUE(handoff.discovery_given);
  EXPECT_EQ(handoff.discovery.services.size(), loud + 6u);
  const PrinterList network = NetworkPrinters(handoff.discovery.services);
  ASSERT_EQ(network.printers.size(), loud + 5u);
  std::set<std::wstring> names;
  for (const PrinterRecord& printer : network.printers) {
    names.insert(printer.level1.pName);
  }
  for (const wchar_t* name : {L"Buero", L"Flur", L"Lager", L"Sicher 2"}) {
    EXPECT_EQ(names.count(name), 1u) << name;
  }
  EndRunLoop(loop, handoff);
  StopScriptedServers(servers);
  StopFakeAvahi(avahi);
}

TEST(Discovery, AServerIsAskedAsSoonAsItsServiceIsResolved) {
  ScriptedServers servers;
  servers.hosts = Network(1, kAnswering, milliseconds(0));
  servers.hosts[1].queues = {"ipp://127.0.0.1:9/printers/Fern"};  // a CUPS server
  ASSERT_TRUE(StartScriptedServers(servers));
  FakeAvahi avahi;
  avahi.all_for_now = false;  // the browse goes on
  avahi.services.push_back(
      SharedQueue("Geteilt @ srv", "_ipp._tcp", servers.hosts[1], "Geteilt"));
  ASSERT_TRUE(StartFakeAvahi(avahi));
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, Settings(servers, kPlenty, avahi.address), Now());
  TurnUntilOver(loop, handoff, &avahi, [&] { return servers.requests < 2; },
                milliseconds(3000));
  // Asked while the browse is still under way.
  EXPECT_EQ(servers.requests, 2);
  EXPECT_FALSE(loop.discovery_over);
  avahi.all_for_now = true;
  TurnUntilOver(loop, handoff, &avahi);
  const PrinterList* printers = Answer(handoff, DiscoveredName(servers.hosts[1]));
  ASSERT_NE(printers, nullptr);
  EXPECT_EQ(printers->printers.size(), 1u);
  EndRunLoop(loop, handoff);
  StopScriptedServers(servers);
  StopFakeAvahi(avahi);
}

// The TXT record the browse resolves a service with, from a daemon of that
// version handing the strings over in that order.
std::map<std::string, std::string> ResolvedTxt(const std::string& version,
                                               std::vector<std::string> txt) {
  FakeAvahi avahi;
  avahi.version = version;
  FakeService service = Service("Doppelt", "_ipp._tcp");
  service.txt = std::move(txt);
  avahi.services.push_back(service);
  EXPECT_TRUE(StartFakeAvahi(avahi));
  DnssdBrowse browse;
  StartBrowse(browse, avahi.address, {"_ipp._tcp"},
              Now() + milliseconds(UnderValgrind() ? 30000 : 3000));
  std::vector<DnssdService> newly;
  while (!IsBrowseOver(browse, Now())) {
    ServeFakeAvahi(avahi);
    ContinueBrowse(browse, newly, Now());
    std::this_thread::sleep_for(milliseconds(1));
  }
  const std::vector<DnssdService> found = EndBrowse(browse);
  StopFakeAvahi(avahi);
  return found.size() == 1 ? found[0].txt : std::map<std::string, std::string>();
}

TEST(Discovery, TheFirstOfATxtKeyOnTheWireCounts) {
  EXPECT_EQ(ResolvedTxt("avahi 0.9", {"rp=erster", "RP=zweiter"})["rp"], "erster");
  // Before 0.9 the daemon hands them over last first.
  EXPECT_EQ(ResolvedTxt("avahi 0.8", {"rp=zweiter", "rp=erster", "ty=x"})["rp"],
            "erster");
}

TEST(Discovery, ABusPlainlyNotThereIsOverAtOnceWithoutLibdbus) {
  const Deadline later = Now() + milliseconds(3000);
  for (const std::string address :
       {"unix:path=/nonexistent/quelvaro/system_bus_socket",
        "unix:path=/dev/null", "unix:abstract=quelvaro-no-bus"}) {
    DnssdBrowse browse;
    StartBrowse(browse, address, {"_ipp._tcp"}, later);
    EXPECT_TRUE(IsBrowseOver(browse, Now())) << address;
    EXPECT_EQ(BrowseDescriptor(browse), -1) << address;
    EXPECT_TRUE(EndBrowse(browse).empty()) << address;
    // A socket that is not there needs no library to tell; any other
    // address is libdbus's to try.
    EXPECT_EQ(browse.dbus == nullptr, address.find("nonexistent") != std::string::npos)
        << address;
  }
}

}  // namespace
