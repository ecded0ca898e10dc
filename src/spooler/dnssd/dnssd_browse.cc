// Avahi's D-Bus interface, spoken through libdbus without ever waiting on
// it: browsers made with ServiceBrowserNew, whose ItemNew and AllForNow
// signals the daemon addresses to this connection alone, and each instance
// resolved by a ResolveService call whose reply is the resolution. Many
// calls are under way at once, taken in turn from each browsed type, so that
// a device that advertises thousands of instances of one type keeps no other
// type from being resolved; each reply is used as it comes.
#include "spooler/dnssd/dnssd_browse.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "spooler/dnssd/dbus_library.h"
#include "spooler/dnssd/dnssd_resolution.h"
#include "spooler/run_limits.h"

namespace {

const char kAvahi[] = "org.freedesktop.Avahi";
const char kAvahiServer[] = "org.freedesktop.Avahi.Server";
const char kAvahiBrowser[] = "org.freedesktop.Avahi.ServiceBrowser";

// Avahi's "any interface", "any protocol".
const dbus_int32_t kAny = -1;

// An instance's key: its type and its name (a D-Bus string holds no NUL).
std::string InstanceKey(const std::string& type, const std::string& name) {
  return type + '\0' + name;
}

// Sends a method call of Avahi's server; records what its reply is for.
// False when it could not be sent.
bool Call(DnssdBrowse& browse, DBusMessage* message, DnssdCall call) {
  dbus_uint32_t serial = 0;
  const bool sent = browse.dbus->send(browse.bus.get(), message, &serial);
  if (sent) browse.calls[serial] = call;
  browse.dbus->message_unref(message);
  return sent;
}

DBusMessage* ServerCall(const DnssdBrowse& browse, const char* method) {
  return browse.dbus->new_method_call(kAvahi, "/", kAvahiServer, method);
}

void AskBrowser(DnssdBrowse& browse, const std::string& type) {
  DBusMessage* message = ServerCall(browse, "ServiceBrowserNew");
  const char* type_text = type.c_str();
  const char* domain = "";
  const dbus_uint32_t flags = 0;
  if (message == nullptr) return;
  if (!browse.dbus->append_args(message, DBUS_TYPE_INT32, &kAny,
                                DBUS_TYPE_INT32, &kAny, DBUS_TYPE_STRING,
                                &type_text, DBUS_TYPE_STRING, &domain,
                                DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID)) {
    browse.dbus->message_unref(message);
    return;
  }
  if (Call(browse, message, {kDnssdBrowserCall, 0})) ++browse.browsers_left;
}

// Asks for the instance to be resolved at its next place; false when the
// call could not be made.
bool AskResolution(DnssdBrowse& browse, std::size_t index) {
  DnssdInstance& instance = browse.instances[index];
  const DnssdPlace place = instance.places[instance.next_place++];
  DBusMessage* message = ServerCall(browse, "ResolveService");
  const char* name = instance.name.c_str();
  const char* type = instance.type.c_str();
  const char* domain = instance.domain.c_str();
  const dbus_uint32_t flags = 0;
  if (message == nullptr) return false;
  if (!browse.dbus->append_args(message, DBUS_TYPE_INT32, &place.interface,
                                DBUS_TYPE_INT32, &place.protocol,
                                DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                                &type, DBUS_TYPE_STRING, &domain,
                                DBUS_TYPE_INT32, &kAny, DBUS_TYPE_UINT32,
                                &flags, DBUS_TYPE_INVALID)) {
    browse.dbus->message_unref(message);
    return false;
  }
  if (!Call(browse, message, {kDnssdResolveCall, index})) return false;
  instance.resolving = true;
  ++browse.resolving;
  return true;
}

// The queue of the instance's type (the last one for a type not browsed).
std::deque<std::size_t>& TurnsOf(DnssdBrowse& browse, const std::string& type) {
  const auto found = std::find(browse.types.begin(), browse.types.end(), type);
  return browse.turns.queues[std::min<std::size_t>(
      found - browse.types.begin(), browse.turns.queues.size() - 1)];
}

// An instance waits for its turn to be resolved at its next place, if it
// has one left.
void WaitToResolve(DnssdBrowse& browse, std::size_t index) {
  DnssdInstance& instance = browse.instances[index];
  if (instance.resolved || instance.resolving || instance.queued ||
      instance.next_place >= instance.places.size()) {
    return;
  }
  instance.queued = true;
  TurnsOf(browse, instance.type).push_back(index);
}

// Resolutions asked for, while fewer than most_resolving are under way,
// from each type's queue in turn.
void AskResolutions(DnssdBrowse& browse) {
  while (browse.resolving < browse.most_resolving) {
    const std::optional<std::size_t> index = TakeNextInTurn(browse.turns);
    if (!index) return;
    browse.instances[*index].queued = false;
    // Each try takes one of the instance's places: this ends.
    if (!AskResolution(browse, *index)) WaitToResolve(browse, *index);
  }
}

// An ItemNew signal: interface, protocol, name, type, domain, flags. A new
// instance waits its turn to be resolved; one seen again has one more place
// to be resolved at.
void ReadItem(DnssdBrowse& browse, DBusMessage* signal) {
  DnssdPlace place = {};
  const char* name = nullptr;
  const char* type = nullptr;
  const char* domain = nullptr;
  dbus_uint32_t flags = 0;
  if (!browse.dbus->get_args(signal, nullptr, DBUS_TYPE_INT32, &place.interface,
                             DBUS_TYPE_INT32, &place.protocol, DBUS_TYPE_STRING,
                             &name, DBUS_TYPE_STRING, &type, DBUS_TYPE_STRING,
                             &domain, DBUS_TYPE_UINT32, &flags,
                             DBUS_TYPE_INVALID)) {
    return;
  }
  const auto [known, added] =
      browse.by_key.emplace(InstanceKey(type, name), browse.instances.size());
  if (added) {
    DnssdInstance instance;
    instance.name = name;
    instance.type = type;
    instance.domain = domain;
    browse.instances.push_back(std::move(instance));
  }
  DnssdInstance& instance = browse.instances[known->second];
  for (const DnssdPlace& seen : instance.places) {
    if (seen.interface == place.interface && seen.protocol == place.protocol) {
      return;
    }
  }
  instance.places.push_back(place);
  WaitToResolve(browse, known->second);
}

void ReadResolveReply(DnssdBrowse& browse, DBusMessage* reply,
                      std::size_t index, std::vector<DnssdService>& newly) {
  DnssdInstance& instance = browse.instances[index];
  instance.resolving = false;
  --browse.resolving;
  DnssdService service;
  if (browse.dbus->get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN &&
      ReadResolution(*browse.dbus, reply, browse.txt_reversed, service)) {
    instance.resolved = true;
    browse.resolved.push_back(service);
    newly.push_back(std::move(service));
    return;
  }
  // Not resolved there: at the next place it was seen at, if any.
  WaitToResolve(browse, index);
}

void Handle(DnssdBrowse& browse, DBusMessage* message,
            std::vector<DnssdService>& newly) {
  const int kind = browse.dbus->get_type(message);
  if (kind == DBUS_MESSAGE_TYPE_SIGNAL) {
    if (browse.dbus->is_signal(message, kAvahiBrowser, "ItemNew")) {
      ReadItem(browse, message);
    } else if (browse.dbus->is_signal(message, kAvahiBrowser, "AllForNow") ||
               browse.dbus->is_signal(message, kAvahiBrowser, "Failure")) {
      --browse.browsers_left;
    }
    return;
  }
  if (kind != DBUS_MESSAGE_TYPE_METHOD_RETURN &&
      kind != DBUS_MESSAGE_TYPE_ERROR) {
    return;
  }
  const auto call = browse.calls.find(browse.dbus->get_reply_serial(message));
  if (call == browse.calls.end()) return;  // the bus's Hello, say
  const DnssdCall what = call->second;
  browse.calls.erase(call);
  switch (what.kind) {
    case kDnssdVersionCall: {
      const char* version = nullptr;
      if (kind == DBUS_MESSAGE_TYPE_METHOD_RETURN &&
          browse.dbus->get_args(message, nullptr, DBUS_TYPE_STRING, &version,
                                DBUS_TYPE_INVALID)) {
        browse.txt_reversed = HandsTxtReversed(version);
      }
      return;
    }
    case kDnssdBrowserCall:
      // A browser that could not be made reports nothing more.
      if (kind == DBUS_MESSAGE_TYPE_ERROR) --browse.browsers_left;
      return;
    case kDnssdResolveCall:
      ReadResolveReply(browse, message, what.instance, newly);
      return;
  }
}

// Whether the bus address plainly names no bus: one socket path, and no
// file there. Then libdbus need not be loaded to find that out (some two
// milliseconds of the run's thread, before it asks the CUPS server). Any
// other address (several, escaped, abstract, TCP) is libdbus's to read.
bool IsPlainlyNoBus(const std::string& address) {
  const std::string kPath = "unix:path=";
  if (address.compare(0, kPath.size(), kPath) != 0) return false;
  const std::string path = address.substr(kPath.size());
  if (path.empty() || path.find_first_of(";,%=") != std::string::npos) {
    return false;
  }
  return access(path.c_str(), F_OK) != 0 && errno == ENOENT;
}

}  // namespace

bool InstanceOrder(const DnssdService& a, const DnssdService& b) {
  if (a.instance_name != b.instance_name) {
    return a.instance_name < b.instance_name;
  }
  return a.service_type < b.service_type;
}

void CloseBus(DBusConnection* bus) {
  // A bus was opened: the library is loaded.
  const Dbus* const dbus = bus == nullptr ? nullptr : LoadDbusOnce();
  if (dbus == nullptr) return;
  dbus->connection_close(bus);
  dbus->connection_unref(bus);
}

void StartBrowse(DnssdBrowse& browse, const std::string& bus_address,
                 const std::vector<std::string>& types, Deadline deadline) {
  browse.deadline = deadline;
  browse.types = types;
  browse.turns.queues.assign(std::max<std::size_t>(types.size(), 1), {});
  browse.most_resolving = kMostResolving;
  // Without libdbus there is no bus to browse on.
  if (IsPlainlyNoBus(bus_address)) return;
  browse.dbus = LoadDbusOnce();
  if (browse.dbus == nullptr) return;
  // Opening connects (to a local socket: at once, or not at all); the
  // authentication and everything after it goes on in ContinueBrowse.
  browse.bus.reset(
      browse.dbus->connection_open_private(bus_address.c_str(), nullptr));
  if (!browse.bus) return;
  browse.dbus->set_exit_on_disconnect(browse.bus.get(), FALSE);
  // The bus takes nothing from a connection before its Hello; its reply
  // (the connection's name) is not needed.
  DBusMessage* hello = browse.dbus->new_method_call(
      "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "Hello");
  if (hello != nullptr) {
    browse.dbus->send(browse.bus.get(), hello, nullptr);
    browse.dbus->message_unref(hello);
  }
  // Sent before any resolution, so its reply comes first: the daemon
  // answers its calls in order, and a resolution takes the network.
  if (DBusMessage* version = ServerCall(browse, "GetVersionString")) {
    Call(browse, version, {kDnssdVersionCall, 0});
  }
  for (const std::string& type : types) AskBrowser(browse, type);
}

int BrowseDescriptor(const DnssdBrowse& browse) {
  int fd = -1;
  if (!browse.bus || !browse.dbus->get_unix_fd(browse.bus.get(), &fd)) {
    return -1;
  }
  return fd;
}

short BrowseEvents(const DnssdBrowse& browse) {
  if (!browse.bus) return 0;
  // Until it is authenticated the connection may have lines of its own to
  // write.
  const bool writing =
      browse.dbus->has_messages_to_send(browse.bus.get()) ||
      !browse.dbus->get_is_authenticated(browse.bus.get());
  return static_cast<short>(POLLIN | (writing ? POLLOUT : 0));
}

Deadline BrowseWakeTime(const DnssdBrowse& browse) { return browse.deadline; }

void ContinueBrowse(DnssdBrowse& browse, std::vector<DnssdService>& newly,
                    Deadline now) {
  if (!browse.bus) return;
  if (now >= browse.deadline ||
      !browse.dbus->read_write(browse.bus.get(), 0)) {
    browse.bus.reset();
    return;
  }
  // What one read brought, and no more: the messages popped here were read
  // before this loop began.
  while (DBusMessage* message = browse.dbus->pop_message(browse.bus.get())) {
    Handle(browse, message, newly);
    browse.dbus->message_unref(message);
  }
  AskResolutions(browse);
  if (IsBrowseOver(browse, now)) {
    browse.bus.reset();
    return;
  }
  // What was just asked goes out now, as far as the socket takes it.
  if (browse.dbus->has_messages_to_send(browse.bus.get())) {
    browse.dbus->read_write(browse.bus.get(), 0);
  }
}

bool IsBrowseOver(const DnssdBrowse& browse, Deadline now) {
  if (!browse.bus || now >= browse.deadline) return true;
  return browse.browsers_left <= 0 && browse.resolving == 0 &&
         AreTurnsEmpty(browse.turns);
}

std::vector<DnssdService> EndBrowse(DnssdBrowse& browse) {
  browse.bus.reset();
  std::vector<DnssdService> found = std::move(browse.resolved);
  for (const DnssdInstance& instance : browse.instances) {
    if (instance.resolved) continue;
    DnssdService named;
    named.instance_name = instance.name;
    named.service_type = instance.type;
    named.resolved = false;
    found.push_back(std::move(named));
  }
  std::stable_sort(found.begin(), found.end(), &InstanceOrder);
  found.erase(std::unique(found.begin(), found.end(),
                          [](const DnssdService& a, const DnssdService& b) {
                            return !InstanceOrder(a, b) && !InstanceOrder(b, a);
                          }),
              found.end());
  return found;
}
