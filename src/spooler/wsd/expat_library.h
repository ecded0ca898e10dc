// The XML parser WSD answers are read with: expat, loaded with dlopen where
// a run first reads one (a run that meets no WSD device, and the report's
// first answer, never load it).
#ifndef QUELVARO_SPOOLER_WSD_EXPAT_LIBRARY_H
#define QUELVARO_SPOOLER_WSD_EXPAT_LIBRARY_H

#include <expat.h>

// The functions used, with the types the header gives them.
struct Expat {
  decltype(&XML_ParserCreateNS) parser_create_ns;
  decltype(&XML_ParserFree) parser_free;
  decltype(&XML_SetUserData) set_user_data;
  decltype(&XML_SetElementHandler) set_element_handler;
  decltype(&XML_SetCharacterDataHandler) set_character_data_handler;
  decltype(&XML_SetNamespaceDeclHandler) set_namespace_decl_handler;
  decltype(&XML_SetStartDoctypeDeclHandler) set_start_doctype_decl_handler;
  decltype(&XML_StopParser) stop_parser;
  decltype(&XML_Parse) parse;
};

// The library's functions; null when it cannot be had. Loads it the first
// time (blocking on the dynamic loader), never unloads it.
const Expat* LoadExpatOnce();

#endif  // QUELVARO_SPOOLER_WSD_EXPAT_LIBRARY_H
