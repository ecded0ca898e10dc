// Saying a failure to run, and telling a library that is not there from one
// that cannot be loaded.
#include "spooler/run_failure.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "spooler/write_whole.h"

namespace {

// Appends text to the reason, as far as it holds, control characters as
// blanks; at is where the reason ends.
void Append(RunFailure& failure, std::size_t& at, const char* text) {
  const std::size_t last = sizeof failure.reason - 1;
  for (; *text != '\0' && at < last; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    failure.reason[at++] = c < 0x20 || c == 0x7F ? ' ' : *text;
  }
  failure.reason[at] = '\0';
}

}  // namespace

RunFailure MakeRunFailure(const char* reason, const char* detail) {
  RunFailure failure;
  std::size_t at = 0;
  failure.reason[0] = '\0';
  Append(failure, at, reason);
  if (detail != nullptr) {
    Append(failure, at, ": ");
    Append(failure, at, detail);
  }
  return failure;
}

void* LoadSharedLibrary(const char* name) {
  void* const library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (library != nullptr) return library;
  // The loader says a file it looked for is not there as the system says
  // "no such file" (strerror(ENOENT), in the same locale); whatever else it
  // says (no memory to map it, a file it cannot read, a symbol missing) is
  // an installed library that cannot be loaded.
  const char* error = dlerror();
  if (error == nullptr) error = "";
  if (std::strstr(error, "cannot open shared object file") != nullptr &&
      std::strstr(error, std::strerror(ENOENT)) != nullptr) {
    return nullptr;
  }
  RunFailure failure = MakeRunFailure(name);
  std::size_t at = std::strlen(failure.reason);
  Append(failure, at, " is installed but cannot be loaded (");
  Append(failure, at, error);
  Append(failure, at, ")");
  throw failure;
}

void EndProgramForFailure(const RunFailure& failure) {
  const char kSaying[] = "quelvaro: the spooler cannot run: ";
  WriteWhole(STDERR_FILENO, kSaying, sizeof kSaying - 1);
  WriteWhole(STDERR_FILENO, failure.reason, std::strlen(failure.reason));
  WriteWhole(STDERR_FILENO, "\n", 1);
  _exit(kRunFailedStatus);
}
