#include "run_loop_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "spooler/ascii_case.h"

using std::chrono::milliseconds;

std::vector<ScriptedHost> Network(std::size_t printers, HostKind kind,
                                  milliseconds delay) {
  std::vector<ScriptedHost> hosts(printers + 1);
  for (std::size_t i = 1; i <= printers; ++i) {
    hosts[i].kind = kind;
    hosts[i].name = "Drucker-" + std::to_string(i);
    hosts[i].delay = delay;
  }
  return hosts;
}

void Start(ScriptedServers& servers) {
  ASSERT_TRUE(StartScriptedServers(servers));
  for (std::size_t i = 1; i < servers.hosts.size(); ++i) {
    servers.hosts[0].queues.push_back(HostUri(servers.hosts[i]));
  }
}

RunSettings Settings(const ScriptedServers& servers, RunBudget budget,
                     const std::string& bus) {
  RunSettings settings;
  settings.cups = {"127.0.0.1", servers.hosts[0].port, false, false};
  settings.user = "tester";
  settings.own_name = L"\\\\localhost";
  settings.bus_address = bus;
  // No query to the machine's name servers, no Probe on its network.
  settings.unicast.off = true;
  settings.wsd.destinations.clear();
  settings.budget = budget;
  return settings;
}

void TurnUntilOver(RunLoop& loop, RunHandoff& handoff, FakeAvahi* avahi,
                   const std::function<bool()>& each, milliseconds most) {
  const Deadline end = Now() + (UnderValgrind() ? 10 * most : most);
  while (!IsRunLoopOver(loop, Now()) && Now() < end) {
    PollSet set = WantedPolls(loop, Now());
    EXPECT_LE(set.wake, loop.run_end);
    WakeBy(set, Now() + milliseconds(avahi != nullptr ? 2 : 20));
    WaitForPolls(set);
    ContinueRunLoop(loop, set, handoff, Now());
    if (avahi != nullptr) ServeFakeAvahi(*avahi);
    if (!each()) return;
  }
}

const PrinterList* Answer(RunHandoff& handoff, const std::wstring& name) {
  const auto found = handoff.answers.find(AsciiLower(name));
  return found == handoff.answers.end() ? nullptr : found->second.get();
}

bool Expanded(RunHandoff& handoff, const ScriptedHost& host) {
  const PrinterList* printers = Answer(handoff, HostServerName(host));
  return printers != nullptr && printers->printers.size() == 1 &&
         printers->printers[0].level1.pName ==
             std::wstring(host.name.begin(), host.name.end());
}

std::size_t CountExpanded(RunHandoff& handoff, const ScriptedServers& servers) {
  std::size_t expanded = 0;
  for (std::size_t i = 1; i < servers.hosts.size(); ++i) {
    if (Expanded(handoff, servers.hosts[i])) ++expanded;
  }
  return expanded;
}

// How many of the printer hosts a test may have: each takes a listening
// socket, its end and the loop's end of a connection.
std::size_t AtMostHosts(std::size_t wanted) {
  if (UnderValgrind()) wanted /= 10;
  return std::min(wanted, (RaiseOpenFileLimit() - 100) / 3);
}

FakeService Service(const std::string& name, const std::string& type) {
  FakeService service;
  service.name = name;
  service.type = type;
  service.host = "host.local";
  service.address = "192.0.2.7";
  service.txt = {"rp=ipp/print"};
  return service;
}

FakeService SharedQueue(const std::string& name, const std::string& type,
                        const ScriptedHost& host, const std::string& queue) {
  FakeService service = Service(name, type);
  service.address = "127.0.0.1";
  service.port = host.port;
  service.txt = {"rp=printers/" + queue, "printer-type=0x100006"};
  return service;
}

std::wstring DiscoveredName(const ScriptedHost& host) {
  return L"\\\\host.local:" + std::to_wstring(host.port);
}
