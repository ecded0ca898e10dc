// expat, loaded with dlopen: linked, its library would be loaded before
// the program's first line in every run, WSD or none.
#include "spooler/wsd/expat_library.h"

#include "spooler/shared_library.h"

namespace {

const char kLibrary[] = "libexpat.so.1";

bool FindAll(void* library, Expat& f) {
  return FindSymbol(library, "XML_ParserCreateNS", f.parser_create_ns) &&
         FindSymbol(library, "XML_ParserFree", f.parser_free) &&
         FindSymbol(library, "XML_SetUserData", f.set_user_data) &&
         FindSymbol(library, "XML_SetElementHandler", f.set_element_handler) &&
         FindSymbol(library, "XML_SetCharacterDataHandler",
                    f.set_character_data_handler) &&
         FindSymbol(library, "XML_SetNamespaceDeclHandler",
                    f.set_namespace_decl_handler) &&
         FindSymbol(library, "XML_SetStartDoctypeDeclHandler",
                    f.set_start_doctype_decl_handler) &&
         FindSymbol(library, "XML_StopParser", f.stop_parser) &&
         FindSymbol(library, "XML_Parse", f.parse);
}

}  // namespace

const Expat* LoadExpatOnce() {
  return LoadFunctionsOnce<Expat>(kLibrary, &FindAll);
}
