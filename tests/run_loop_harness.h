// The run's loop in the test process: scripted IPP hosts on loopback ports
// (scripted_servers.h), a fake Avahi (fake_avahi.h), and the loop turned on
// the real clock or at a time the test names.
#ifndef QUELVARO_TESTS_RUN_LOOP_HARNESS_H
#define QUELVARO_TESTS_RUN_LOOP_HARNESS_H

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "fake_avahi.h"
#include "scripted_servers.h"
#include "slowness.h"
#include "spooler/run/run_loop.h"

const RunBudget kPlenty = {4096, kMostRunAnswerBytes};


// A CUPS server whose remote queues print to the printers (Start), and the
// printers; the CUPS server is hosts[0].
std::vector<ScriptedHost> Network(std::size_t printers, HostKind kind,
                                  std::chrono::milliseconds delay);

// Starts the hosts, then gives the CUPS server the printers' URIs.
void Start(ScriptedServers& servers);

RunSettings Settings(const ScriptedServers& servers, RunBudget budget,
                     const std::string& bus = "unix:abstract=quelvaro-no-bus");

// Turns the loop on the real clock until it is over, `most` at most, or
// `each` (asked after every turn) says no more; a turn at least every 20 ms,
// with the fake Avahi (if any) served between turns.
void TurnUntilOver(
    RunLoop& loop, RunHandoff& handoff, FakeAvahi* avahi,
    const std::function<bool()>& each = [] { return true; },
    std::chrono::milliseconds most = std::chrono::milliseconds(20000));

// The printers the run handed over for the server of that name; null when
// none were.
const PrinterList* Answer(RunHandoff& handoff, const std::wstring& name);

// Whether the server answered with exactly its own printer.
bool Expanded(RunHandoff& handoff, const ScriptedHost& host);
std::size_t CountExpanded(RunHandoff& handoff, const ScriptedServers& servers);

// How many of the printer hosts a test may have: each takes a listening
// socket, its end and the loop's end of a connection.
std::size_t AtMostHosts(std::size_t wanted);

// A printer of host.local (192.0.2.7) the fake Avahi advertises.
FakeService Service(const std::string& name, const std::string& type);

// A queue the scripted host shares as host.local (at 127.0.0.1), advertised
// as type; and the Remote scope's name of that host.
FakeService SharedQueue(const std::string& name, const std::string& type,
                        const ScriptedHost& host, const std::string& queue);
std::wstring DiscoveredName(const ScriptedHost& host);

#endif  // QUELVARO_TESTS_RUN_LOOP_HARNESS_H
