// libdbus's functions, found in the library once it is loaded.
#include "spooler/dnssd/dbus_library.h"

#include "spooler/shared_library.h"

namespace {

const char kLibrary[] = "libdbus-1.so.3";

bool FindAll(void* library, Dbus& f) {
  return FindSymbol(library, "dbus_connection_open_private",
                    f.connection_open_private) &&
         FindSymbol(library, "dbus_connection_set_exit_on_disconnect",
                    f.set_exit_on_disconnect) &&
         FindSymbol(library, "dbus_connection_close", f.connection_close) &&
         FindSymbol(library, "dbus_connection_unref", f.connection_unref) &&
         FindSymbol(library, "dbus_connection_get_unix_fd", f.get_unix_fd) &&
         FindSymbol(library, "dbus_connection_get_is_authenticated",
                    f.get_is_authenticated) &&
         FindSymbol(library, "dbus_connection_has_messages_to_send",
                    f.has_messages_to_send) &&
         FindSymbol(library, "dbus_connection_read_write", f.read_write) &&
         FindSymbol(library, "dbus_connection_pop_message", f.pop_message) &&
         FindSymbol(library, "dbus_connection_send", f.send) &&
         FindSymbol(library, "dbus_message_new_method_call",
                    f.new_method_call) &&
         FindSymbol(library, "dbus_message_unref", f.message_unref) &&
         FindSymbol(library, "dbus_message_append_args", f.append_args) &&
         FindSymbol(library, "dbus_message_get_args", f.get_args) &&
         FindSymbol(library, "dbus_message_get_type", f.get_type) &&
         FindSymbol(library, "dbus_message_is_signal", f.is_signal) &&
         FindSymbol(library, "dbus_message_get_reply_serial",
                    f.get_reply_serial) &&
         FindSymbol(library, "dbus_message_iter_init", f.iter_init) &&
         FindSymbol(library, "dbus_message_iter_get_arg_type",
                    f.iter_get_arg_type) &&
         FindSymbol(library, "dbus_message_iter_next", f.iter_next) &&
         FindSymbol(library, "dbus_message_iter_recurse", f.iter_recurse) &&
         FindSymbol(library, "dbus_message_iter_get_basic", f.iter_get_basic) &&
         FindSymbol(library, "dbus_message_iter_get_fixed_array",
                    f.iter_get_fixed_array);
}

}  // namespace

const Dbus* LoadDbusOnce() {
  return LoadFunctionsOnce<Dbus>(kLibrary, &FindAll);
}
