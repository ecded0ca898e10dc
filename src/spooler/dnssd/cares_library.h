// c-ares, the asynchronous DNS library, loaded with dlopen where a run
// first needs it: a run that asks no name server (no search domain) never
// loads it, and the report's first answer waits for none of its loading.
#ifndef QUELVARO_SPOOLER_DNSSD_CARES_LIBRARY_H
#define QUELVARO_SPOOLER_DNSSD_CARES_LIBRARY_H

#include <ares.h>

// The functions used, with the types the header gives them.
struct Cares {
  decltype(&ares_library_init) library_init;
  decltype(&ares_init_options) init_options;
  decltype(&ares_save_options) save_options;
  decltype(&ares_destroy_options) destroy_options;
  decltype(&ares_destroy) destroy;
  decltype(&ares_query) query;
  decltype(&ares_getsock) getsock;
  decltype(&ares_timeout) timeout;
  decltype(&ares_process_fd) process_fd;
  decltype(&ares_expand_name) expand_name;
  decltype(&ares_free_string) free_string;
  decltype(&ares_parse_srv_reply) parse_srv_reply;
  decltype(&ares_parse_txt_reply_ext) parse_txt_reply_ext;
  decltype(&ares_parse_a_reply) parse_a_reply;
  decltype(&ares_parse_aaaa_reply) parse_aaaa_reply;
  decltype(&ares_free_data) free_data;
};

// Loads the library (libcares.so.2) the first time, and initializes it;
// its functions, or null when the machine has no such library (or one
// without them). Never unloaded.
const Cares* LoadCaresOnce();

#endif  // QUELVARO_SPOOLER_DNSSD_CARES_LIBRARY_H
