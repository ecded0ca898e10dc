#include "fake_avahi.h"

#include <unistd.h>

#include <atomic>

namespace {

const char kBrowser[] = "org.freedesktop.Avahi.ServiceBrowser";

dbus_bool_t KeepWatch(DBusWatch* watch, void* data) {
  static_cast<FakeAvahi*>(data)->listening = watch;
  return TRUE;
}
void DropWatch(DBusWatch*, void* data) {
  static_cast<FakeAvahi*>(data)->listening = nullptr;
}

void TakeConnection(DBusServer*, DBusConnection* connection, void* data) {
  auto& avahi = *static_cast<FakeAvahi*>(data);
  if (avahi.client != nullptr) return;
  dbus_connection_ref(connection);
  avahi.client = connection;
}

std::string BrowserPath(std::size_t n) {
  return "/Client1/ServiceBrowser" + std::to_string(n);
}

void Send(FakeAvahi& avahi, DBusMessage* message) {
  dbus_connection_send(avahi.client, message, nullptr);
  dbus_message_unref(message);
}

void Signal(FakeAvahi& avahi, std::size_t browser, const char* name) {
  Send(avahi, dbus_message_new_signal(BrowserPath(browser).c_str(), kBrowser, name));
}

void Announce(FakeAvahi& avahi, std::size_t browser) {
  const std::string& type = avahi.browsers[browser];
  for (const FakeService& service : avahi.services) {
    if (service.type != type) continue;
    DBusMessage* item =
        dbus_message_new_signal(BrowserPath(browser).c_str(), kBrowser, "ItemNew");
    const dbus_int32_t interface = 1;
    const dbus_int32_t protocol = 0;
    const char* name = service.name.c_str();
    const char* type_text = service.type.c_str();
    const char* domain = "local";
    const dbus_uint32_t flags = 0;
    dbus_message_append_args(item, DBUS_TYPE_INT32, &interface, DBUS_TYPE_INT32,
                             &protocol, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                             &type_text, DBUS_TYPE_STRING, &domain,
                             DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID);
    Send(avahi, item);
  }
  avahi.announced.push_back(type);
}

// Whether the service a resolution asks for is held.
bool IsHeld(const FakeAvahi& avahi, DBusMessage* call) {
  const char* name = nullptr;
  const char* type = nullptr;
  dbus_int32_t number = 0;
  dbus_message_get_args(call, nullptr, DBUS_TYPE_INT32, &number, DBUS_TYPE_INT32,
                        &number, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                        &type, DBUS_TYPE_INVALID);
  for (const FakeService& service : avahi.services) {
    if (service.held && service.name == name && service.type == type) return true;
  }
  return false;
}

void Resolve(FakeAvahi& avahi, DBusMessage* call) {
  dbus_int32_t interface = 0;
  dbus_int32_t protocol = 0;
  const char* name = nullptr;
  const char* type = nullptr;
  const char* domain = nullptr;
  dbus_int32_t aprotocol = 0;
  dbus_uint32_t flags = 0;
  dbus_message_get_args(call, nullptr, DBUS_TYPE_INT32, &interface,
                        DBUS_TYPE_INT32, &protocol, DBUS_TYPE_STRING, &name,
                        DBUS_TYPE_STRING, &type, DBUS_TYPE_STRING, &domain,
                        DBUS_TYPE_INT32, &aprotocol, DBUS_TYPE_UINT32, &flags,
                        DBUS_TYPE_INVALID);
  avahi.resolved.push_back(std::string(type) + " " + name);
  for (const FakeService& service : avahi.services) {
    if (service.name != name || service.type != type || !service.resolvable) {
      continue;
    }
    DBusMessage* reply = dbus_message_new_method_return(call);
    const char* host = service.host.c_str();
    const char* address = service.address.c_str();
    const dbus_uint16_t port = static_cast<dbus_uint16_t>(service.port);
    const dbus_int32_t address_protocol = 0;
    dbus_message_append_args(reply, DBUS_TYPE_INT32, &interface, DBUS_TYPE_INT32,
                             &protocol, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                             &type, DBUS_TYPE_STRING, &domain, DBUS_TYPE_STRING,
                             &host, DBUS_TYPE_INT32, &address_protocol,
                             DBUS_TYPE_STRING, &address, DBUS_TYPE_UINT16, &port,
                             DBUS_TYPE_INVALID);
    DBusMessageIter at;
    DBusMessageIter strings;
    dbus_message_iter_init_append(reply, &at);
    dbus_message_iter_open_container(&at, DBUS_TYPE_ARRAY, "ay", &strings);
    for (const std::string& entry : service.txt) {
      DBusMessageIter bytes;
      const char* data = entry.data();
      dbus_message_iter_open_container(&strings, DBUS_TYPE_ARRAY, "y", &bytes);
      dbus_message_iter_append_fixed_array(&bytes, DBUS_TYPE_BYTE, &data,
                                           static_cast<int>(entry.size()));
      dbus_message_iter_close_container(&strings, &bytes);
    }
    dbus_message_iter_close_container(&at, &strings);
    dbus_message_append_args(reply, DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID);
    Send(avahi, reply);
    return;
  }
  Send(avahi, dbus_message_new_error(call, "org.freedesktop.Avahi.TimeoutError",
                                     "Timeout reached"));
}

void Answer(FakeAvahi& avahi, DBusMessage* call) {
  if (dbus_message_is_method_call(call, "org.freedesktop.DBus", "Hello")) {
    DBusMessage* reply = dbus_message_new_method_return(call);
    const char* name = ":1.1";
    dbus_message_append_args(reply, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    Send(avahi, reply);
  } else if (dbus_message_has_member(call, "GetVersionString")) {
    DBusMessage* reply = dbus_message_new_method_return(call);
    const char* version = avahi.version.c_str();
    dbus_message_append_args(reply, DBUS_TYPE_STRING, &version, DBUS_TYPE_INVALID);
    Send(avahi, reply);
  } else if (dbus_message_has_member(call, "ServiceBrowserNew")) {
    dbus_int32_t interface = 0;
    dbus_int32_t protocol = 0;
    const char* type = nullptr;
    dbus_message_get_args(call, nullptr, DBUS_TYPE_INT32, &interface,
                          DBUS_TYPE_INT32, &protocol, DBUS_TYPE_STRING, &type,
                          DBUS_TYPE_INVALID);
    avahi.browsers.push_back(type);
    DBusMessage* reply = dbus_message_new_method_return(call);
    const std::string path = BrowserPath(avahi.browsers.size() - 1);
    const char* path_text = path.c_str();
    dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &path_text,
                             DBUS_TYPE_INVALID);
    Send(avahi, reply);
    Announce(avahi, avahi.browsers.size() - 1);
  } else if (dbus_message_has_member(call, "ResolveService")) {
    if (IsHeld(avahi, call)) {
      avahi.held_calls.push_back(dbus_message_ref(call));
    } else {
      Resolve(avahi, call);
    }
  }
}

}  // namespace

bool StartFakeAvahi(FakeAvahi& avahi) {
  static std::atomic<int> made{0};
  const std::string address = "unix:abstract=quelvaro-fake-avahi-" +
                              std::to_string(getpid()) + "-" +
                              std::to_string(made++);
  avahi.server = dbus_server_listen(address.c_str(), nullptr);
  if (avahi.server == nullptr) return false;
  avahi.address = address;
  dbus_server_set_new_connection_function(avahi.server, &TakeConnection, &avahi,
                                          nullptr);
  return dbus_server_set_watch_functions(avahi.server, &KeepWatch, &DropWatch,
                                         nullptr, &avahi, nullptr);
}

void ServeFakeAvahi(FakeAvahi& avahi) {
  if (avahi.client == nullptr && avahi.listening != nullptr) {
    dbus_watch_handle(avahi.listening, DBUS_WATCH_READABLE);
  }
  if (avahi.client == nullptr) return;
  dbus_connection_read_write(avahi.client, 0);
  while (DBusMessage* message = dbus_connection_pop_message(avahi.client)) {
    if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
      Answer(avahi, message);
    }
    dbus_message_unref(message);
  }
  std::vector<DBusMessage*> still_held;
  for (DBusMessage* call : avahi.held_calls) {
    if (IsHeld(avahi, call)) {
      still_held.push_back(call);
      continue;
    }
    Resolve(avahi, call);
    dbus_message_unref(call);
  }
  avahi.held_calls = std::move(still_held);
  if (avahi.all_for_now) {
    for (std::size_t b = avahi.said_all_for_now.size(); b < avahi.browsers.size(); ++b) {
      Signal(avahi, b, "AllForNow");
      avahi.said_all_for_now.push_back(avahi.browsers[b]);
    }
  }
  // As far as the socket takes it now: the loop under test reads it on
  // this same thread, later.
  dbus_connection_read_write(avahi.client, 0);
}

void StopFakeAvahi(FakeAvahi& avahi) {
  for (DBusMessage* call : avahi.held_calls) dbus_message_unref(call);
  avahi.held_calls.clear();
  if (avahi.client != nullptr) {
    dbus_connection_close(avahi.client);
    dbus_connection_unref(avahi.client);
    avahi.client = nullptr;
  }
  if (avahi.server != nullptr) {
    dbus_server_disconnect(avahi.server);
    dbus_server_unref(avahi.server);
    avahi.server = nullptr;
  }
}
