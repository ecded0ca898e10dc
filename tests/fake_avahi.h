// Avahi's D-Bus interface, as far as discovery speaks it, played by the test
// itself over a peer-to-peer D-Bus connection on an abstract socket (no bus
// daemon, no file): ServiceBrowserNew with its ItemNew and AllForNow
// signals, ResolveService, GetVersionString. Served on the test's own
// thread, between turns of the loop under test.
#ifndef QUELVARO_TESTS_FAKE_AVAHI_H
#define QUELVARO_TESTS_FAKE_AVAHI_H

#include <dbus/dbus.h>

#include <string>
#include <vector>

struct FakeService {
  std::string name;
  std::string type;
  std::string host;
  std::string address;
  int port = 631;
  std::vector<std::string> txt;  // in the order they go over D-Bus
  bool resolvable = true;        // false: ResolveService fails
  bool held = false;             // its resolution is answered only once
                                 // this is cleared
};

struct FakeAvahi {
  std::string version = "avahi 0.9";
  std::vector<FakeService> services;
  bool all_for_now = true;             // false: held back until set
  std::string address;                 // for the client to connect to
  DBusServer* server = nullptr;
  DBusWatch* listening = nullptr;
  DBusConnection* client = nullptr;    // the server's end
  std::vector<std::string> browsers;   // types browsed, in order
  std::vector<std::string> announced;  // types whose items were sent
  std::vector<std::string> resolved;   // "type name", in the order asked
  std::vector<std::string> said_all_for_now;
  std::vector<DBusMessage*> held_calls;  // resolutions not answered yet
};

// Listens; false when it cannot.
bool StartFakeAvahi(FakeAvahi& avahi);

// Takes the client's connection when it comes, reads what it sent and
// answers: each browser's items at once, and AllForNow after them unless
// held back (then once all_for_now is set); a resolution as it is asked,
// unless its service is held (then once it is no longer).
void ServeFakeAvahi(FakeAvahi& avahi);

void StopFakeAvahi(FakeAvahi& avahi);

#endif  // QUELVARO_TESTS_FAKE_AVAHI_H
