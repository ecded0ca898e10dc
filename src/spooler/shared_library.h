// A library loaded where a run first needs it (LoadSharedLibrary,
// run_failure.h: not installed is no library, installed but not loadable a
// failure to run), and its functions found by name, each kept with the type
// its header gives it.
#ifndef QUELVARO_SPOOLER_SHARED_LIBRARY_H
#define QUELVARO_SPOOLER_SHARED_LIBRARY_H

#include <dlfcn.h>

#include "spooler/run_failure.h"

// The function of that name in the library, as function; false when the
// library has none.
template <typename Function>
bool FindSymbol(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

#endif  // QUELVARO_SPOOLER_SHARED_LIBRARY_H
