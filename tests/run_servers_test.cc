// The run's servers, each at one stage at a time: asked in plain IPP
// whatever resolution answers first, asked again for a URI learnt after
// their asking ended, looked up by name, handed over in the order the run
// lists their URIs, and nothing started once the run's end has come.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "run_loop_harness.h"
#include "scripted_dns.h"
#include "spooler/smb/smb_share_message.h"

namespace {

using std::chrono::milliseconds;

TEST(RunServers, AServerIsAskedInPlainIppWhicheverResolutionAnswersFirst) {
  for (const bool ipps_first : {true, false}) {
    SCOPED_TRACE(ipps_first ? "IPPS resolved first" : "IPP resolved first");
    ScriptedServers servers;
    servers.hosts = Network(1, kAnswering, milliseconds(0));
    servers.hosts[1].queues = {"ipp://127.0.0.1:9/printers/Fern"};
    ASSERT_TRUE(StartScriptedServers(servers));
    FakeAvahi avahi;
    for (const char* type : {"_ipp._tcp", "_ipps._tcp"}) {
      avahi.services.push_back(
          SharedQueue("Geteilt @ srv", type, servers.hosts[1], "Geteilt"));
    }
    // The other resolution waits until the first has been acted on.
    avahi.services[ipps_first ? 0 : 1].held = true;
    ASSERT_TRUE(StartFakeAvahi(avahi));
    RunLoop loop;
    RunHandoff handoff;
    StartRunLoop(loop, Settings(servers, kPlenty, avahi.address), Now());
    TurnUntilOver(loop, handoff, &avahi, [&] {
      if (servers.tls_refused > 0 || servers.requests >= 2) {
        for (FakeService& service : avahi.services) service.held = false;
      }
      return true;
    });
    EXPECT_EQ(servers.tls_refused, ipps_first ? 1 : 0);
    const PrinterList* printers = Answer(handoff, DiscoveredName(servers.hosts[1]));
    ASSERT_NE(printers, nullptr);
    ASSERT_EQ(printers->printers.size(), 1u);
    EXPECT_EQ(std::wstring(printers->printers[0].level1.pName), L"Queue-1");
    EndRunLoop(loop, handoff);
    StopScriptedServers(servers);
    StopFakeAvahi(avahi);
  }
}

TEST(RunServers, AServerOverIsAskedAgainForAPrinterLearntLater) {
  ScriptedServers servers;
  servers.hosts = Network(1, kAnswering, milliseconds(0));  // no CUPS server
  ASSERT_TRUE(StartScriptedServers(servers));
  FakeAvahi avahi;
  avahi.all_for_now = false;
  avahi.services.push_back(SharedQueue("B", "_ipp._tcp", servers.hosts[1], "B"));
  avahi.services.push_back(SharedQueue("A", "_ipp._tcp", servers.hosts[1], "A"));
  avahi.services[1].held = true;
  ASSERT_TRUE(StartFakeAvahi(avahi));
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, Settings(servers, kPlenty, avahi.address), Now());
  // The CUPS server; then the host: what it is, then its printer B.
  TurnUntilOver(loop, handoff, &avahi, [&] { return servers.requests < 3; },
                milliseconds(3000));
  const auto server = loop.registry.by_name.find(DiscoveredName(servers.hosts[1]));
  ASSERT_NE(server, loop.registry.by_name.end());
  TurnUntilOver(loop, handoff, &avahi, [&] {
    return loop.registry.servers[server->second].stage != kServerOver;
  }, milliseconds(3000));
  ASSERT_EQ(loop.registry.servers[server->second].stage, kServerOver);
  // A is resolved: the server is asked again, for A alone.
  avahi.services[1].held = false;
  avahi.all_for_now = true;
  TurnUntilOver(loop, handoff, &avahi);
  EXPECT_EQ(servers.requests, 4);
  const PrinterList* printers = Answer(handoff, DiscoveredName(servers.hosts[1]));
  ASSERT_NE(printers, nullptr);
  EXPECT_EQ(printers->printers.size(), 2u);
  EndRunLoop(loop, handoff);
  StopScriptedServers(servers);
  StopFakeAvahi(avahi);
}

TEST(RunServers, AQueueFoundOnTheLinkAndInUnicastDnsIsListedOnceItsServersBoth) {
  ScriptedServers servers;
  servers.hosts = Network(1, kAnswering, milliseconds(0));
  servers.hosts[1].queues = {"ipp://127.0.0.1:9/printers/Fern"};
  ASSERT_TRUE(StartScriptedServers(servers));
  FakeAvahi avahi;
  avahi.services.push_back(
      SharedQueue("Geteilt @ srv", "_ipp._tcp", servers.hosts[1], "Geteilt"));
  ASSERT_TRUE(StartFakeAvahi(avahi));
  // The same queue by the same name in the search domain, on a host of
  // the site's DNS.
  ScriptedDns dns;
  ASSERT_TRUE(StartScriptedDns(dns));
  const DnsName queue = Child("Geteilt @ srv", Dns("_ipp._tcp.campus.test"));
  dns.records.push_back({Dns("_ipp._tcp.campus.test"), 12, PtrData(queue)});
  dns.records.push_back(
      {queue, 33, SrvData(servers.hosts[1].port, Dns("srv.campus.test"))});
  dns.records.push_back(
      {queue, 16, TxtData({"rp=printers/Geteilt", "printer-type=0x100006"})});
  dns.records.push_back({Dns("srv.campus.test"), 1, AData("127.0.0.1")});
  const ResolvConfFolder folder;
  const std::string conf =
      WriteResolvConf(folder, "nameserver 127.0.0.1\nsearch campus.test\n");
  RunSettings settings = Settings(servers, kPlenty, avahi.address);
  settings.unicast = {conf, dns.port, false};
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, settings, Now());
  TurnUntilOver(loop, handoff, &avahi, [&] {
    ServeScriptedDns(dns);
    return true;
  });
  ASSERT_EQ(handoff.discovery.services.size(), 1u);
  const std::string port = std::to_string(servers.hosts[1].port);
  for (const std::wstring& name :
       {DiscoveredName(servers.hosts[1]),
        L"\\\\srv.campus.test:" + std::wstring(port.begin(), port.end())}) {
    const PrinterList* printers = Answer(handoff, name);
    ASSERT_NE(printers, nullptr);
    EXPECT_EQ(printers->printers.size(), 1u);
  }
  EXPECT_EQ(handoff.servers.size(), 3u);  // the CUPS server's own too
  EndRunLoop(loop, handoff);
  StopScriptedDns(dns);
  StopScriptedServers(servers);
  StopFakeAvahi(avahi);
}

TEST(RunServers, AnswersAreHandedOverInTheOrderTheRunListsTheirUris) {
  ServerAsking asking;
  asking.server.uris = {"ipp://h/printers/b", "ipp://h/printers/a", "smb://h2",
                        "smb://h1", "ipp://h/printers/late"};
  asking.order = {"ipp://h/printers/a", "ipp://h/printers/b", "smb://h1",
                  "smb://h2"};
  // As they came: b, late, a; the listings h2, h1.
  for (const char* uri : {"ipp://h/printers/b", "ipp://h/printers/late",
                          "ipp://h/printers/a"}) {
    PrinterList printers;
    PRINTER_INFO_2 info = {};
    info.pPrinterName = KeepText(printers.text, std::wstring(uri, uri + std::strlen(uri)));
    AddPrinterRecord(printers, info, nullptr, nullptr);
    asking.answers.push_back({uri, std::move(printers)});
  }
  for (const char* host : {"h2", "h1"}) {
    ShareListing listing;
    listing.uri = std::string("smb://") + host;
    listing.over = true;
    PRINTER_INFO_2 info = {};
    info.pPrinterName = KeepText(listing.shares.text,
                                 std::wstring(host, host + 2));
    AddPrinterRecord(listing.shares, info, nullptr, nullptr);
    asking.smb.push_back(std::move(listing));
  }
  const PrinterList taken = StopAndTakePrinters(asking);
  std::vector<std::wstring> names;
  for (const PrinterRecord& printer : taken.printers) names.push_back(printer.level1.pName);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"ipp://h/printers/a", L"ipp://h/printers/b",
                                              L"ipp://h/printers/late", L"h1", L"h2"}));
}

TEST(RunServers, AHostNameIsLookedUpOffTheLoopAndAnUnknownOneGivesNothing) {
  ScriptedServers servers;
  servers.hosts = Network(1, kAnswering, milliseconds(0));
  ASSERT_TRUE(StartScriptedServers(servers));
  const std::string port = std::to_string(servers.hosts[1].port);
  servers.hosts[0].queues = {"ipp://localhost:" + port + "/ipp/print",
                             "ipp://nirgends.invalid:" + port + "/ipp/print"};
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, Settings(servers, kPlenty), Now());
  TurnUntilOver(loop, handoff, nullptr);
  const PrinterList* local = Answer(handoff, L"\\\\localhost:" + std::wstring(port.begin(), port.end()));
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(local->printers.size(), 1u);
  const PrinterList* nowhere =
      Answer(handoff, L"\\\\nirgends.invalid:" + std::wstring(port.begin(), port.end()));
  ASSERT_NE(nowhere, nullptr);
  EXPECT_TRUE(nowhere->printers.empty());
  EndRunLoop(loop, handoff);
  StopScriptedServers(servers);
}

TEST(RunServers, NothingStartsOnceTheRunsEndHasCome) {
  ScriptedServers servers;
  servers.hosts = Network(20, kSilent, milliseconds(0));
  Start(servers);
  RunLoop loop;
  RunHandoff handoff;
  const Deadline started = Now();
  StartRunLoop(loop, Settings(servers, {5, kMostRunAnswerBytes}), started);
  // The CUPS server, then five silent printers holding the descriptors.
  TurnUntilOver(loop, handoff, nullptr, [&] { return servers.requests < 6; });
  ASSERT_EQ(servers.requests, 6);
  ASSERT_EQ(loop.registry.at_stage[kServerWaiting], 15u);
  // Descriptors come free just as the run's end comes: no turn is taken.
  loop.pool.descriptors_left += 4;
  const Deadline end = started + kRunBound;
  ContinueRunLoop(loop, NewPollSet(end), handoff, end);
  EXPECT_EQ(loop.registry.at_stage[kServerWaiting], 15u);
  EXPECT_TRUE(IsRunLoopOver(loop, end));
  EndRunLoop(loop, handoff);
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(servers.connections, 6);
  EXPECT_EQ(loop.registry.at_stage[kServerGiven], 21u);
  EXPECT_EQ(handoff.answers.size(), 20u);
  StopScriptedServers(servers);
}

// Stands in for the SMB listings' starter: every listing it is asked for
// lists one share, "Fremd".
void AnswerSmbRequests(int socket) {
  char request[8192];
  char control[CMSG_SPACE(sizeof(int))];
  iovec data = {request, sizeof request};
  msghdr message = {};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  while (recvmsg(socket, &message, MSG_DONTWAIT) > 0) {
    int out = -1;
    std::memcpy(&out, CMSG_DATA(CMSG_FIRSTHDR(&message)), sizeof out);
    const std::string shares = EncodeSmbShareMessage({{"Fremd", ""}});
    EXPECT_EQ(write(out, shares.data(), shares.size()),
              static_cast<ssize_t>(shares.size()));
    close(out);
  }
}

TEST(RunServers, AnSmbServerOfTheCupsServersNameAddsNothingToTheQueues) {
  ScriptedServers servers;
  servers.hosts = Network(0, kAnswering, milliseconds(0));
  servers.hosts[0].delay = milliseconds(300);  // resolved before it answers
  Start(servers);
  FakeAvahi avahi;
  FakeService smb = Service("Dateien", "_smb._tcp");
  smb.host = "localhost";  // the CUPS server's own name, \\localhost
  avahi.services.push_back(smb);
  ASSERT_TRUE(StartFakeAvahi(avahi));
  int starter[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, starter), 0);
  RunSettings settings = Settings(servers, kPlenty, avahi.address);
  settings.smb_starter = {getpid(), starter[0]};
  RunLoop loop;
  RunHandoff handoff;
  StartRunLoop(loop, std::move(settings), Now());
  TurnUntilOver(loop, handoff, &avahi, [&] {
    AnswerSmbRequests(starter[1]);
    return true;
  });
  ASSERT_TRUE(handoff.view.has_value());
  EXPECT_TRUE(handoff.view->printers.empty());
  EndRunLoop(loop, handoff);
  close(starter[0]);
  close(starter[1]);
  StopScriptedServers(servers);
  StopFakeAvahi(avahi);
}

}  // namespace
