// A spooler for the tests: EnumPrintersW answers what a test scripted, laid
// out as the platform lays it out, and every call is recorded.
#ifndef QUELVARO_TESTS_SCRIPTED_SPOOLER_H
#define QUELVARO_TESTS_SCRIPTED_SPOOLER_H

#include <optional>
#include <string>
#include <vector>

#include "spooler/spooler.h"

// One record's name as the spooler hands it back.
struct ScriptedName {
  enum Where { kInBuffer, kNull, kOutside } where = kInBuffer;
  std::wstring text;
};

ScriptedName Named(const std::wstring& text);
ScriptedName NullName();
ScriptedName OutsideName();

// What the spooler answers to one (Flags, Name, Level).
struct ScriptedAnswer {
  std::vector<ScriptedName> names;  // one record each, in buffer order
  std::optional<DWORD> needed;      // reported instead of the exact size
  std::optional<DWORD> count;       // reported by a filling call instead
};

// An answer listing these records, sized and counted exactly.
ScriptedAnswer Records(const std::vector<ScriptedName>& names);

struct SpoolerCall {
  DWORD flags;
  std::optional<std::wstring> name;  // empty when Name was null
  DWORD level;
  bool buffer;
  DWORD cbBuf;
};

// Forgets every answer and every call. Unscripted requests report needed 0.
void ResetSpooler();
// name == nullptr scripts the answer to requests with a null Name.
void ScriptAnswer(DWORD flags, const wchar_t* name, DWORD level,
                  const ScriptedAnswer& answer);
const std::vector<SpoolerCall>& SpoolerCalls();

// Exact size of the block the answer lays out at that level.
DWORD LaidOutSize(DWORD level, const ScriptedAnswer& answer);

#endif  // QUELVARO_TESTS_SCRIPTED_SPOOLER_H
