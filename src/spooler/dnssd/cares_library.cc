// c-ares, loaded with dlopen.
#include "spooler/dnssd/cares_library.h"

#include <dlfcn.h>

#include <mutex>

namespace {

const char kLibrary[] = "libcares.so.2";

template <typename Function>
bool Find(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace

const Cares* LoadCaresOnce() {
  static std::once_flag loading;
  static Cares functions = {};
  static bool loaded = false;
  std::call_once(loading, [] {
    void* const library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    Cares& f = functions;
    loaded = Find(library, "ares_library_init", f.library_init) &&
             Find(library, "ares_init_options", f.init_options) &&
             Find(library, "ares_save_options", f.save_options) &&
             Find(library, "ares_destroy_options", f.destroy_options) &&
             Find(library, "ares_destroy", f.destroy) &&
             Find(library, "ares_query", f.query) &&
             Find(library, "ares_getsock", f.getsock) &&
             Find(library, "ares_timeout", f.timeout) &&
             Find(library, "ares_process_fd", f.process_fd) &&
             Find(library, "ares_expand_name", f.expand_name) &&
             Find(library, "ares_free_string", f.free_string) &&
             Find(library, "ares_parse_srv_reply", f.parse_srv_reply) &&
             Find(library, "ares_parse_txt_reply_ext", f.parse_txt_reply_ext) &&
             Find(library, "ares_parse_a_reply", f.parse_a_reply) &&
             Find(library, "ares_parse_aaaa_reply", f.parse_aaaa_reply) &&
             Find(library, "ares_free_data", f.free_data) &&
             // Needed on Windows only, and cheap: the library's own state.
             f.library_init(ARES_LIB_INIT_ALL) == ARES_SUCCESS;
  });
  return loaded ? &functions : nullptr;
}
