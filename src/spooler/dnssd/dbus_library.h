// libdbus, loaded with dlopen where discovery first needs it, on the run's
// thread. Linked, it and what it brings (libsystemd, libgcrypt, liblzma,
// libzstd, liblz4, libgpg-error, libcap) would be loaded before the
// program's first line, some two milliseconds of every run, discovery or
// none.
#ifndef QUELVARO_SPOOLER_DNSSD_DBUS_LIBRARY_H
#define QUELVARO_SPOOLER_DNSSD_DBUS_LIBRARY_H

#include <dbus/dbus.h>

// The functions discovery uses, with the types the header gives them.
struct Dbus {
  decltype(&dbus_connection_open_private) connection_open_private;
  decltype(&dbus_connection_set_exit_on_disconnect) set_exit_on_disconnect;
  decltype(&dbus_connection_close) connection_close;
  decltype(&dbus_connection_unref) connection_unref;
  decltype(&dbus_connection_get_unix_fd) get_unix_fd;
  decltype(&dbus_connection_get_is_authenticated) get_is_authenticated;
  decltype(&dbus_connection_has_messages_to_send) has_messages_to_send;
  decltype(&dbus_connection_read_write) read_write;
  decltype(&dbus_connection_pop_message) pop_message;
  decltype(&dbus_connection_send) send;
  decltype(&dbus_message_new_method_call) new_method_call;
  decltype(&dbus_message_unref) message_unref;
  decltype(&dbus_message_append_args) append_args;
  decltype(&dbus_message_get_args) get_args;
  decltype(&dbus_message_get_type) get_type;
  decltype(&dbus_message_is_signal) is_signal;
  decltype(&dbus_message_get_reply_serial) get_reply_serial;
  decltype(&dbus_message_iter_init) iter_init;
  decltype(&dbus_message_iter_get_arg_type) iter_get_arg_type;
  decltype(&dbus_message_iter_next) iter_next;
  decltype(&dbus_message_iter_recurse) iter_recurse;
  decltype(&dbus_message_iter_get_basic) iter_get_basic;
  decltype(&dbus_message_iter_get_fixed_array) iter_get_fixed_array;
};

// The library's functions, loaded the first time (never unloaded); null
// when libdbus is not installed, or lacks one of them: then there is no
// discovery, as on a machine without a bus. Throws RunFailure (run_failure.h)
// when it is installed but cannot be loaded.
const Dbus* LoadDbusOnce();

#endif  // QUELVARO_SPOOLER_DNSSD_DBUS_LIBRARY_H
