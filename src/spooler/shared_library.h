// A library loaded where a run first needs it (LoadSharedLibrary,
// run_failure.h: not installed is no library, installed but not loadable a
// failure to run), and its functions found by name, each kept with the type
// its header gives it.
#ifndef QUELVARO_SPOOLER_SHARED_LIBRARY_H
#define QUELVARO_SPOOLER_SHARED_LIBRARY_H

#include <dlfcn.h>

#include <mutex>

#include "spooler/run_failure.h"

// The function of that name in the library, as function; false when the
// library has none.
template <typename Function>
bool FindSymbol(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// The functions of the library of that name, loaded the first time they are
// asked for and found by find (which may start the library too); null when
// the library is not installed, or lacks one of them. Tried once, never
// unloaded; throws RunFailure when the library is installed but cannot be
// loaded (which ends the program).
template <typename Functions>
const Functions* LoadFunctionsOnce(const char* name,
                                   bool (*find)(void* library, Functions& f)) {
  static std::mutex loading;
  static bool tried = false;
  static Functions functions = {};
  static bool loaded = false;
  const std::lock_guard<std::mutex> held(loading);
  if (!tried) {
    tried = true;
    void* const library = LoadSharedLibrary(name);
    loaded = library != nullptr && find(library, functions);
  }
  return loaded ? &functions : nullptr;
}

#endif  // QUELVARO_SPOOLER_SHARED_LIBRARY_H
