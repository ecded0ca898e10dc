#include "bench_spooler.h"
#include "spooler/printer_info_layout.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

struct BenchScript {
  std::vector<std::wstring> names;
  std::size_t strings_bytes = 0;  // every name with its terminator
  bool by_name = false;
};

BenchScript script;

// Every block carries this string first; the fields that are not the name
// point at it.
const wchar_t kDecoy[] = L"decoy";

std::size_t StringBytes(const std::wstring& text) {
  return (text.size() + 1) * sizeof(wchar_t);
}

// Writes the record with its name at text into at.
void PutRecord(DWORD level, LPWSTR text, LPWSTR decoy, BYTE* at) {
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

// Starts a block of count records: the decoy string right after the records.
// Returns where the names go.
BYTE* StartBlock(DWORD level, std::size_t count, BYTE* block, LPWSTR& decoy) {
  BYTE* strings = block + PrinterInfoSize(level) * count;
  decoy = reinterpret_cast<LPWSTR>(strings);
  std::memcpy(strings, kDecoy, sizeof kDecoy);
  return strings + sizeof kDecoy;
}

}  // namespace

void ScriptBenchSpooler(std::size_t records, bool by_name) {
  script.names.clear();
  script.strings_bytes = 0;
  for (std::size_t k = 0; k < records; ++k) {
    script.names.push_back(BenchRecordName(k));
    script.strings_bytes += StringBytes(script.names.back());
  }
  script.by_name = by_name;
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level,
                          LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  *pcbNeeded = 0;
  *pcReturned = 0;
  const std::size_t record = PrinterInfoSize(Level);
  if (record == 0) return FALSE;

  if (Name == nullptr) {
    if (script.names.empty()) return FALSE;
    const std::size_t count = script.names.size();
    const std::size_t exact =
        record * count + sizeof kDecoy + script.strings_bytes;
    *pcbNeeded = static_cast<DWORD>(exact);
    if (pPrinterEnum == nullptr || cbBuf < exact) return FALSE;
    LPWSTR decoy = nullptr;
    BYTE* strings = StartBlock(Level, count, pPrinterEnum, decoy);
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t bytes = StringBytes(script.names[k]);
      std::memcpy(strings, script.names[k].c_str(), bytes);
      PutRecord(Level, reinterpret_cast<LPWSTR>(strings), decoy,
                pPrinterEnum + k * record);
      strings += bytes;
    }
    *pcReturned = static_cast<DWORD>(count);
    return TRUE;
  }

  if (!script.by_name || (Flags & PRINTER_ENUM_NAME) == 0 || Level != 1) {
    return FALSE;
  }
  const std::size_t bytes = (std::wcslen(Name) + 1) * sizeof(wchar_t);
  const std::size_t exact = record + sizeof kDecoy + bytes;
  *pcbNeeded = static_cast<DWORD>(exact);
  if (pPrinterEnum == nullptr || cbBuf < exact) return FALSE;
  LPWSTR decoy = nullptr;
  BYTE* strings = StartBlock(Level, 1, pPrinterEnum, decoy);
  std::memcpy(strings, Name, bytes);
  PutRecord(Level, reinterpret_cast<LPWSTR>(strings), decoy, pPrinterEnum);
  *pcReturned = 1;
  return TRUE;
}
