// expat, loaded with dlopen: linked, its library would be loaded before
// the program's first line in every run, WSD or none.
#include "spooler/wsd/expat_library.h"

#include <dlfcn.h>

#include <mutex>

namespace {

const char kLibrary[] = "libexpat.so.1";

template <typename Function>
bool Find(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace

const Expat* LoadExpatOnce() {
  static std::once_flag loading;
  static Expat functions = {};
  static bool loaded = false;
  std::call_once(loading, [] {
    void* const library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    Expat& f = functions;
    loaded = Find(library, "XML_ParserCreateNS", f.parser_create_ns) &&
             Find(library, "XML_ParserFree", f.parser_free) &&
             Find(library, "XML_SetUserData", f.set_user_data) &&
             Find(library, "XML_SetElementHandler", f.set_element_handler) &&
             Find(library, "XML_SetCharacterDataHandler",
                  f.set_character_data_handler) &&
             Find(library, "XML_SetNamespaceDeclHandler",
                  f.set_namespace_decl_handler) &&
             Find(library, "XML_SetStartDoctypeDeclHandler",
                  f.set_start_doctype_decl_handler) &&
             Find(library, "XML_StopParser", f.stop_parser) &&
             Find(library, "XML_Parse", f.parse);
  });
  return loaded ? &functions : nullptr;
}
