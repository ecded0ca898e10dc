// Laying out PRINTER_INFO_1, 2, 4 and 5 records and their strings. Each
// answer is laid out twice by the same code: first with no block, to add up
// the exact size, then, when the caller's block is large enough, into it.
#include "spooler/printer_records.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>

#include "spooler/printer_info_layout.h"

namespace {

// Units in a block of a text pool: the first, and the most a block grows to;
// a longer text gets a block of its own.
const std::size_t kFirstPoolBlockUnits = 256;
const std::size_t kPoolBlockUnits = 16384;

// Puts the texts one after the other, as one string, at offset in the block
// and moves offset past it and its null; returns where it went. Without a
// block (while sizing) only offset moves. No first text: a null pointer, and
// no bytes.
LPWSTR PlaceString(LPBYTE block, std::size_t& offset, LPCWSTR first,
                   std::wstring_view second = std::wstring_view(),
                   LPCWSTR third = nullptr) {
  if (first == nullptr) return nullptr;
  const std::wstring_view parts[] = {
      first, second, third == nullptr ? std::wstring_view() : third};
  LPWSTR at = nullptr;
  if (block != nullptr) at = reinterpret_cast<LPWSTR>(block + offset);
  for (std::wstring_view part : parts) {
    const std::size_t bytes = part.size() * sizeof(WCHAR);
    if (block != nullptr && bytes != 0) {
      std::memcpy(block + offset, part.data(), bytes);
    }
    offset += bytes;
  }
  if (block != nullptr) std::memset(block + offset, 0, sizeof(WCHAR));
  offset += sizeof(WCHAR);
  return at;
}

// A name (or level-1 description) of a printer asked for by its server's
// name: prefix, a backslash and the text; the text alone when there is no
// prefix.
LPWSTR PlaceServerText(LPBYTE block, std::size_t& offset,
                       const std::wstring& prefix, LPCWSTR text) {
  if (prefix.empty() || text == nullptr) {
    return PlaceString(block, offset, text);
  }
  return PlaceString(block, offset, prefix.c_str(), L"\\", text);
}

// Copies a finished record into the block; the block need not be aligned.
template <typename Record>
void PlaceRecord(const Record& record, LPBYTE block, std::size_t at) {
  if (block != nullptr) std::memcpy(block + at, &record, sizeof record);
}

void PlacePrinter(DWORD level, const PrinterRecord& printer,
                  const std::wstring& prefix, LPBYTE block,
                  std::size_t record_at, std::size_t& string_at) {
  const PRINTER_INFO_2& from = printer.level2;
  switch (level) {
    case 1: {
      PRINTER_INFO_1 info = printer.level1;
      info.pDescription =
          PlaceServerText(block, string_at, prefix, info.pDescription);
      info.pName = PlaceServerText(block, string_at, prefix, info.pName);
      info.pComment = PlaceString(block, string_at, info.pComment);
      PlaceRecord(info, block, record_at);
      break;
    }
    case 2: {
      PRINTER_INFO_2 info = from;
      // A server's printer is on that server.
      info.pServerName = prefix.empty()
                             ? PlaceString(block, string_at, from.pServerName)
                             : PlaceString(block, string_at, prefix.c_str());
      info.pPrinterName =
          PlaceServerText(block, string_at, prefix, from.pPrinterName);
      info.pShareName = PlaceString(block, string_at, from.pShareName);
      info.pPortName = PlaceString(block, string_at, from.pPortName);
      info.pDriverName = PlaceString(block, string_at, from.pDriverName);
      info.pComment = PlaceString(block, string_at, from.pComment);
      info.pLocation = PlaceString(block, string_at, from.pLocation);
      info.pDevMode = nullptr;
      info.pSepFile = PlaceString(block, string_at, from.pSepFile);
      info.pPrintProcessor = PlaceString(block, string_at, from.pPrintProcessor);
      info.pDatatype = PlaceString(block, string_at, from.pDatatype);
      info.pParameters = PlaceString(block, string_at, from.pParameters);
      info.pSecurityDescriptor = nullptr;
      PlaceRecord(info, block, record_at);
      break;
    }
    case 4: {
      PRINTER_INFO_4 info = {};
      info.pPrinterName =
          PlaceServerText(block, string_at, prefix, from.pPrinterName);
      info.pServerName = prefix.empty()
                             ? PlaceString(block, string_at, from.pServerName)
                             : PlaceString(block, string_at, prefix.c_str());
      info.Attributes = from.Attributes;
      PlaceRecord(info, block, record_at);
      break;
    }
    case 5: {
      PRINTER_INFO_5 info = {};
      info.pPrinterName =
          PlaceServerText(block, string_at, prefix, from.pPrinterName);
      info.pPortName = PlaceString(block, string_at, from.pPortName);
      info.Attributes = from.Attributes;
      PlaceRecord(info, block, record_at);
      break;
    }
    default:
      break;
  }
}

// The size reported for an answer, and whether it may be written into a
// block of cbBuf bytes.
DWORD ReportedSize(std::size_t size) {
  return size > std::numeric_limits<DWORD>::max() ? 0
                                                  : static_cast<DWORD>(size);
}

bool Fits(std::size_t size, LPBYTE buffer, DWORD cbBuf) {
  return ReportedSize(size) != 0 && buffer != nullptr && size <= cbBuf;
}

}  // namespace

LPWSTR KeepText(TextPool& pool, std::wstring_view text) {
  const std::size_t units = text.size() + 1;
  if (pool.empty() ||
      pool.back().capacity() - pool.back().size() < units) {
    // Blocks grow from small ones, so that a list of one printer (a
    // server's, of which a run may have thousands) holds little.
    const std::size_t last = pool.empty() ? 0 : pool.back().capacity();
    const std::size_t block =
        std::clamp(2 * last, kFirstPoolBlockUnits, kPoolBlockUnits);
    pool.emplace_back();
    pool.back().reserve(std::max(block, units));
  }
  std::vector<WCHAR>& block = pool.back();
  const std::size_t at = block.size();
  block.insert(block.end(), text.begin(), text.end());
  block.push_back(L'\0');
  return block.data() + at;
}

LPWSTR KeepDescription(TextPool& pool, LPCWSTR name, LPCWSTR driver,
                       LPCWSTR location) {
  std::wstring text = name == nullptr ? L"" : name;
  text += L',';
  if (driver != nullptr) text += driver;
  text += L',';
  if (location != nullptr) text += location;
  return KeepText(pool, text);
}

bool IsRecordLevel(DWORD level) { return PrinterInfoSize(level) != 0; }

DWORD LayOutPrinters(DWORD level, const std::vector<const PrinterRecord*>& printers,
                     const std::wstring& prefix, LPBYTE buffer, DWORD cbBuf,
                     DWORD& returned) {
  returned = 0;
  const std::size_t record = PrinterInfoSize(level);
  if (record == 0 || printers.empty()) return 0;

  const std::size_t strings = record * printers.size();
  std::size_t size = strings;
  for (std::size_t k = 0; k < printers.size(); ++k) {
    PlacePrinter(level, *printers[k], prefix, nullptr, k * record, size);
  }
  if (!Fits(size, buffer, cbBuf)) return ReportedSize(size);

  std::size_t string_at = strings;
  for (std::size_t k = 0; k < printers.size(); ++k) {
    PlacePrinter(level, *printers[k], prefix, buffer, k * record, string_at);
  }
  returned = static_cast<DWORD>(printers.size());
  return ReportedSize(size);
}

std::vector<const PrinterRecord*> AllPrinters(const PrinterList& list) {
  std::vector<const PrinterRecord*> all;
  all.reserve(list.printers.size());
  for (const PrinterRecord& printer : list.printers) all.push_back(&printer);
  return all;
}
