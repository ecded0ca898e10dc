// c-ares, loaded with dlopen.
#include "spooler/dnssd/cares_library.h"

#include "spooler/shared_library.h"

namespace {

const char kLibrary[] = "libcares.so.2";

bool FindAll(void* library, Cares& f) {
  return FindSymbol(library, "ares_library_init", f.library_init) &&
         FindSymbol(library, "ares_init_options", f.init_options) &&
         FindSymbol(library, "ares_save_options", f.save_options) &&
         FindSymbol(library, "ares_destroy_options", f.destroy_options) &&
         FindSymbol(library, "ares_destroy", f.destroy) &&
         FindSymbol(library, "ares_query", f.query) &&
         FindSymbol(library, "ares_getsock", f.getsock) &&
         FindSymbol(library, "ares_timeout", f.timeout) &&
         FindSymbol(library, "ares_process_fd", f.process_fd) &&
         FindSymbol(library, "ares_expand_name", f.expand_name) &&
         FindSymbol(library, "ares_free_string", f.free_string) &&
         FindSymbol(library, "ares_parse_srv_reply", f.parse_srv_reply) &&
         FindSymbol(library, "ares_parse_txt_reply_ext",
                    f.parse_txt_reply_ext) &&
         FindSymbol(library, "ares_parse_a_reply", f.parse_a_reply) &&
         FindSymbol(library, "ares_parse_aaaa_reply", f.parse_aaaa_reply) &&
         FindSymbol(library, "ares_free_data", f.free_data) &&
         // Needed on Windows only, and cheap: the library's own state.
         f.library_init(ARES_LIB_INIT_ALL) == ARES_SUCCESS;
}

}  // namespace

const Cares* LoadCaresOnce() {
  return LoadFunctionsOnce<Cares>(kLibrary, &FindAll);
}
