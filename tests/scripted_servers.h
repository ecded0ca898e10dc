// IPP hosts on loopback ports for the loop's in-process tests, served by one
// thread of the test's own with one poll: each answers as its script says
// (a CUPS server with its queues, a printer after a delay, one that never
// answers, one that floods, a WSD device's metadata), and the servers count
// what they saw.
#ifndef QUELVARO_TESTS_SCRIPTED_SERVERS_H
#define QUELVARO_TESTS_SCRIPTED_SERVERS_H

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

enum HostKind {
  kAnswering,  // answers every request after its delay
  kSilent,     // takes the request, never answers
  kFlooding,   // answers with a head announcing flood_bytes and sends them
};

struct ScriptedHost {
  HostKind kind = kAnswering;
  std::string name;                  // the printer's printer-name
  std::vector<std::string> queues;   // set: a CUPS server with these device
                                     // URIs' remote queues
  std::chrono::milliseconds delay{0};
  std::size_t flood_bytes = 0;
  std::size_t announced_bytes = 0;   // set: a flood's head announces this
                                     // many, more than come
  std::string soap_body;             // set: a WSD device answering every
                                     // SOAP request with it, the request's
                                     // path for each "%PATH%"
  int port = 0;                      // set by StartScriptedServers
};

struct ScriptedServers {
  std::vector<ScriptedHost> hosts;
  std::string address = "127.0.0.1";  // where every host listens
  std::vector<int> listeners;        // one a host
  int wake[2] = {-1, -1};
  std::thread thread;
  std::atomic<bool> stopping{false};
  // What the hosts saw, together.
  std::atomic<int> connections{0};   // accepted
  std::atomic<int> open{0};          // open now
  std::atomic<int> most_open{0};     // at once
  std::atomic<int> requests{0};      // whole requests read
  std::atomic<int> tls_refused{0};   // connections that began with a TLS
                                     // handshake, closed at once (no host
                                     // here speaks TLS)
};

// Listens for every host at the servers' address (a port each) and starts serving them
// on a thread; false when a socket could not be had.
bool StartScriptedServers(ScriptedServers& servers);

// Stops the thread and closes every socket.
void StopScriptedServers(ScriptedServers& servers);

// "ipp://127.0.0.1:PORT/ipp/print", and the Remote scope's name of it.
std::string HostUri(const ScriptedHost& host);
std::wstring HostServerName(const ScriptedHost& host);

// Raises the test process's soft limit on open files to its hard one;
// returns it.
std::size_t RaiseOpenFileLimit();

#endif  // QUELVARO_TESTS_SCRIPTED_SERVERS_H
