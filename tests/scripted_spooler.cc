#include "scripted_spooler.h"
#include "spooler/printer_info_layout.h"

#include <cstring>
#include <map>
#include <tuple>

namespace {

using Key = std::tuple<DWORD, std::optional<std::wstring>, DWORD>;

std::map<Key, ScriptedAnswer> answers;
std::vector<SpoolerCall> calls;

// A name that lives outside every block the spooler fills.
wchar_t outside_text[] = L"outside";

// Decoy strings sit in the fields that are not the name, so reading the wrong
// field shows.
const std::wstring kDecoy = L"decoy";

std::size_t StringsSize(DWORD level, const ScriptedAnswer& answer) {
  std::size_t size = (kDecoy.size() + 1) * sizeof(wchar_t);
  if (PrinterInfoSize(level) == 0) return 0;
  for (const ScriptedName& name : answer.names) {
    if (name.where == ScriptedName::kInBuffer) {
      size += (name.text.size() + 1) * sizeof(wchar_t);
    }
  }
  return size;
}

void LayOut(DWORD level, const ScriptedAnswer& answer, LPBYTE block) {
  const std::size_t record = PrinterInfoSize(level);
  wchar_t* strings = reinterpret_cast<wchar_t*>(block + record * answer.names.size());
  wchar_t* decoy = strings;
  std::wcscpy(decoy, kDecoy.c_str());
  strings += kDecoy.size() + 1;

  for (std::size_t k = 0; k < answer.names.size(); ++k) {
    const ScriptedName& name = answer.names[k];
    wchar_t* text = nullptr;
    if (name.where == ScriptedName::kInBuffer) {
      text = strings;
      std::wcscpy(text, name.text.c_str());
      strings += name.text.size() + 1;
    } else if (name.where == ScriptedName::kOutside) {
      text = outside_text;
    }
    BYTE* at = block + k * record;
    switch (level) {
      case 1: {
        PRINTER_INFO_1 info{};
        info.pDescription = decoy;
        info.pName = text;
        info.pComment = decoy;
        std::memcpy(at, &info, sizeof info);
        break;
      }
      case 2: {
        PRINTER_INFO_2 info{};
        info.pServerName = decoy;
        info.pPrinterName = text;
        info.pShareName = decoy;
        info.pPortName = decoy;
        std::memcpy(at, &info, sizeof info);
        break;
      }
      case 4: {
        PRINTER_INFO_4 info{};
        info.pPrinterName = text;
        info.pServerName = decoy;
        std::memcpy(at, &info, sizeof info);
        break;
      }
      case 5: {
        PRINTER_INFO_5 info{};
        info.pPrinterName = text;
        info.pPortName = decoy;
        std::memcpy(at, &info, sizeof info);
        break;
      }
    }
  }
}

}  // namespace

ScriptedName Named(const std::wstring& text) {
  return {ScriptedName::kInBuffer, text};
}
ScriptedAnswer Records(const std::vector<ScriptedName>& names) {
  ScriptedAnswer answer;
  answer.names = names;
  return answer;
}

ScriptedName NullName() { return {ScriptedName::kNull, L""}; }
ScriptedName OutsideName() { return {ScriptedName::kOutside, L""}; }

void ResetSpooler() {
  answers.clear();
  calls.clear();
}

void ScriptAnswer(DWORD flags, const wchar_t* name, DWORD level,
                  const ScriptedAnswer& answer) {
  std::optional<std::wstring> key_name;
  if (name != nullptr) key_name = name;
  answers[Key{flags, key_name, level}] = answer;
}

const std::vector<SpoolerCall>& SpoolerCalls() { return calls; }

DWORD LaidOutSize(DWORD level, const ScriptedAnswer& answer) {
  return static_cast<DWORD>(PrinterInfoSize(level) * answer.names.size() +
                            StringsSize(level, answer));
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level,
                          LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  std::optional<std::wstring> name;
  if (Name != nullptr) name = Name;
  calls.push_back({Flags, name, Level, pPrinterEnum != nullptr, cbBuf});

  *pcReturned = 0;
  const auto found = answers.find(Key{Flags, name, Level});
  if (found == answers.end() || found->second.names.empty()) {
    *pcbNeeded = found == answers.end() ? 0 : found->second.needed.value_or(0);
    if (found != answers.end() && pPrinterEnum != nullptr) {
      *pcReturned = found->second.count.value_or(0);
    }
    return FALSE;
  }
  const ScriptedAnswer& answer = found->second;
  const DWORD exact = LaidOutSize(Level, answer);
  *pcbNeeded = answer.needed.value_or(exact);
  if (pPrinterEnum == nullptr || cbBuf < exact) return FALSE;

  LayOut(Level, answer, pPrinterEnum);
  *pcReturned = answer.count.value_or(static_cast<DWORD>(answer.names.size()));
  return TRUE;
}
