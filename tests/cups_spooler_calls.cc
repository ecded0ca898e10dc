// What the CUPS spooler's direct tests share: its EnumPrintersW called and
// counted, and the platform's layout checked.
#include "cups_spooler_calls.h"

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>

#include "report/wide_output.h"
#include "spooler/utf8_text.h"

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::vector<std::string> FileLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

namespace {

std::size_t CountInFile(const std::string& path, const std::string& text) {
  std::size_t count = 0;
  for (const std::string& line : FileLines(path)) {
    if (line.find(text) != std::string::npos) ++count;
  }
  return count;
}

}  // namespace

// The CUPS-Get-Printers requests the server has logged so far. A request of
// another kind is sent first and waited for in the log: the server handles
// requests one after another, so every request sent before it has been
// logged by then.
std::size_t RequestsSoFar() {
  const std::string log = Environment("CUPS_ACCESS_LOG");
  const std::size_t markers = CountInFile(log, "CUPS-Get-Default");
  ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT,
                          ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
  for (int i = 0; i < 100 && CountInFile(log, "CUPS-Get-Default") == markers;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return CountInFile(log, "CUPS-Get-Printers");
}

// The UTF-8 form of a string in a block, for comparing with lpstat's lines.
// Read unit by unit, as the block may sit at any address.
std::string Utf8(LPCWSTR text) {
  if (text == nullptr) return "(null)";
  std::wstring wide;
  const BYTE* at = reinterpret_cast<const BYTE*>(text);
  for (;; at += sizeof(WCHAR)) {
    WCHAR unit;
    std::memcpy(&unit, at, sizeof unit);
    if (unit == 0) break;
    wide.push_back(unit);
  }
  return EncodeUtf8(wide.data(), wide.size());
}

Call Enumerate(DWORD flags, const wchar_t* name, DWORD level, BYTE* buffer,
               DWORD cbBuf) {
  Call call;
  const std::size_t before = RequestsSoFar();
  std::wstring name_copy = name == nullptr ? L"" : name;
  call.needed = 0xDEAD;
  call.returned = 0xBEEF;
  call.result = EnumPrintersW(flags, name == nullptr ? nullptr : name_copy.data(),
                              level, buffer, cbBuf, &call.needed,
                              &call.returned);
  call.requests = RequestsSoFar() - before;
  return call;
}

std::size_t RecordSize(DWORD level) {
  switch (level) {
    case 1: return sizeof(PRINTER_INFO_1);
    case 2: return sizeof(PRINTER_INFO_2);
    case 4: return sizeof(PRINTER_INFO_4);
    default: return sizeof(PRINTER_INFO_5);
  }
}

// Every string pointer of the k-th record at the level.
std::vector<LPWSTR> StringFields(DWORD level, const BYTE* block,
                                 std::size_t k) {
  const BYTE* at = block + k * RecordSize(level);
  switch (level) {
    case 1: {
      PRINTER_INFO_1 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pDescription, info.pName, info.pComment};
    }
    case 2: {
      PRINTER_INFO_2 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pServerName, info.pPrinterName, info.pShareName,
              info.pPortName,   info.pDriverName,  info.pComment,
              info.pLocation,   info.pSepFile,     info.pPrintProcessor,
              info.pDatatype,   info.pParameters};
    }
    case 4: {
      PRINTER_INFO_4 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pPrinterName, info.pServerName};
    }
    default: {
      PRINTER_INFO_5 info;
      std::memcpy(&info, at, sizeof info);
      return {info.pPrinterName, info.pPortName};
    }
  }
}

// The name field of the k-th record: pName at level 1, pPrinterName else.
LPWSTR NameField(DWORD level, const BYTE* block, std::size_t k) {
  return StringFields(level, block, k)[level == 1 || level == 2 ? 1 : 0];
}

// Checks the platform layout of count records in a block of needed bytes:
// records back to back from the start, every string after the last record
// and inside the block, no two strings sharing a byte, and the records and
// strings together taking exactly needed bytes.
void ExpectPlatformLayout(DWORD level, const BYTE* block, DWORD needed,
                          DWORD count) {
  const std::size_t strings_start = count * RecordSize(level);
  ASSERT_LE(strings_start, needed);
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  for (std::size_t k = 0; k < count; ++k) {
    for (LPWSTR text : StringFields(level, block, k)) {
      if (text == nullptr) continue;
      const BYTE* at = reinterpret_cast<const BYTE*>(text);
      ASSERT_GE(at, block + strings_start) << "record " << k;
      ASSERT_LT(at, block + needed) << "record " << k;
      std::size_t offset = static_cast<std::size_t>(at - block);
      std::size_t end = offset;
      for (;; end += sizeof(WCHAR)) {
        ASSERT_LE(end + sizeof(WCHAR), needed) << "unterminated, record " << k;
        WCHAR unit;
        std::memcpy(&unit, block + end, sizeof unit);
        if (unit == 0) break;
      }
      spans.emplace_back(offset, end + sizeof(WCHAR));
    }
  }
  std::sort(spans.begin(), spans.end());
  std::size_t used = strings_start;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (i > 0) {
      EXPECT_GE(spans[i].first, spans[i - 1].second) << "overlap";
    }
    used += spans[i].second - spans[i].first;
  }
  EXPECT_EQ(used, needed) << "needed is not the exact size";
}

// The requests before the run, counted as the suite starts.
std::size_t CupsSpoolerTest::before_run_ = 0;
