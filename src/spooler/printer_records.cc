// Laying out PRINTER_INFO_1, 2, 4 and 5 records and their strings. Each
// answer is laid out twice by the same code: first with no block, to add up
// the exact size, then, when the caller's block is large enough, into it;
// both by the lengths measured when the printer was kept.
#include "spooler/printer_records.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <iterator>
#include <limits>

#include "spooler/printer_info_layout.h"

namespace {

// Units in a block of a text pool: the first, and the most a block grows to;
// a longer text gets a block of its own.
const std::size_t kFirstPoolBlockUnits = 64;
const std::size_t kPoolBlockUnits = 16384;

// The string fields of each record type, in the order PrinterTextLengths
// holds their lengths (and the order they are laid out in).
LPWSTR PRINTER_INFO_1::* const kLevel1Texts[] = {
    &PRINTER_INFO_1::pDescription, &PRINTER_INFO_1::pName,
    &PRINTER_INFO_1::pComment};
LPWSTR PRINTER_INFO_2::* const kLevel2Texts[] = {
    &PRINTER_INFO_2::pServerName,     &PRINTER_INFO_2::pPrinterName,
    &PRINTER_INFO_2::pShareName,      &PRINTER_INFO_2::pPortName,
    &PRINTER_INFO_2::pDriverName,     &PRINTER_INFO_2::pComment,
    &PRINTER_INFO_2::pLocation,       &PRINTER_INFO_2::pSepFile,
    &PRINTER_INFO_2::pPrintProcessor, &PRINTER_INFO_2::pDatatype,
    &PRINTER_INFO_2::pParameters};
const std::size_t kServerName = 0;   // in kLevel2Texts
const std::size_t kPrinterName = 1;
const std::size_t kPortName = 3;

std::uint32_t Measure(LPCWSTR text) {
  return text == nullptr ? 0 : static_cast<std::uint32_t>(std::wcslen(text));
}

// A string of a record, and its length.
struct RecordText {
  LPCWSTR text;  // null: the field is absent
  std::size_t length;
};

RecordText Level1Text(const PrinterRecord& printer, std::size_t field) {
  const LPCWSTR text = printer.level1.*kLevel1Texts[field];
  return {text, printer.measured ? printer.lengths.level1[field] : Measure(text)};
}

RecordText Level2Text(const PrinterRecord& printer, std::size_t field) {
  const LPCWSTR text = printer.level2.*kLevel2Texts[field];
  return {text, printer.measured ? printer.lengths.level2[field] : Measure(text)};
}

// Placing a printer's strings: filling (kFilling) writes them into the
// block; sizing only moves the offset past the bytes they would take. One
// code does both, so that a block of the size counted is always filled
// exactly; made twice by the compiler, so that sizing does nothing else.

// Puts the parts one after the other, as one string, at offset in the
// block and moves offset past it and its null; returns where it went.
template <bool kFilling>
LPWSTR PlaceParts(LPBYTE block, std::size_t& offset,
                  std::initializer_list<RecordText> parts) {
  LPWSTR at = nullptr;
  if constexpr (kFilling) at = reinterpret_cast<LPWSTR>(block + offset);
  for (const RecordText& part : parts) {
    const std::size_t bytes = part.length * sizeof(WCHAR);
    if constexpr (kFilling) {
      if (bytes != 0) std::memcpy(block + offset, part.text, bytes);
    }
    offset += bytes;
  }
  if constexpr (kFilling) std::memset(block + offset, 0, sizeof(WCHAR));
  offset += sizeof(WCHAR);
  return at;
}

// A string as it is; an absent one stays a null pointer, and takes no
// bytes.
template <bool kFilling>
LPWSTR PlaceString(LPBYTE block, std::size_t& offset, RecordText text) {
  if (text.text == nullptr) return nullptr;
  return PlaceParts<kFilling>(block, offset, {text});
}

// A name (or level-1 description) of a printer asked for by its server's
// name: prefix, a backslash and the text; the text alone when there is no
// prefix.
template <bool kFilling>
LPWSTR PlaceServerText(LPBYTE block, std::size_t& offset,
                       const std::wstring& prefix, RecordText text) {
  if (prefix.empty() || text.text == nullptr) {
    return PlaceString<kFilling>(block, offset, text);
  }
  return PlaceParts<kFilling>(
      block, offset, {{prefix.data(), prefix.size()}, {L"\\", 1}, text});
}

// A server's printer is on that server: its server name is the prefix.
template <bool kFilling>
LPWSTR PlaceServerName(LPBYTE block, std::size_t& offset,
                       const std::wstring& prefix, RecordText text) {
  if (prefix.empty()) return PlaceString<kFilling>(block, offset, text);
  return PlaceParts<kFilling>(block, offset, {{prefix.data(), prefix.size()}});
}

// Copies a finished record into the block; the block need not be aligned.
template <bool kFilling, typename Record>
void PlaceRecord(const Record& record, LPBYTE block, std::size_t at) {
  if constexpr (kFilling) std::memcpy(block + at, &record, sizeof record);
}

template <bool kFilling>
void PlacePrinter(DWORD level, const PrinterRecord& printer,
                  const std::wstring& prefix, LPBYTE block,
                  std::size_t record_at, std::size_t& string_at) {
  const PRINTER_INFO_2& from = printer.level2;
  switch (level) {
    case 1: {
      PRINTER_INFO_1 info = printer.level1;
      info.pDescription = PlaceServerText<kFilling>(block, string_at, prefix,
                                                    Level1Text(printer, 0));
      info.pName = PlaceServerText<kFilling>(block, string_at, prefix,
                                             Level1Text(printer, 1));
      info.pComment =
          PlaceString<kFilling>(block, string_at, Level1Text(printer, 2));
      PlaceRecord<kFilling>(info, block, record_at);
      break;
    }
    case 2: {
      PRINTER_INFO_2 info = from;
      for (std::size_t field = 0; field < std::size(kLevel2Texts); ++field) {
        const RecordText text = Level2Text(printer, field);
        LPWSTR& placed = info.*kLevel2Texts[field];
        if (field == kServerName) {
          placed = PlaceServerName<kFilling>(block, string_at, prefix, text);
        } else if (field == kPrinterName) {
          placed = PlaceServerText<kFilling>(block, string_at, prefix, text);
        } else {
          placed = PlaceString<kFilling>(block, string_at, text);
        }
      }
      info.pDevMode = nullptr;
      info.pSecurityDescriptor = nullptr;
      PlaceRecord<kFilling>(info, block, record_at);
      break;
    }
    case 4: {
      PRINTER_INFO_4 info = {};
      info.pPrinterName = PlaceServerText<kFilling>(
          block, string_at, prefix, Level2Text(printer, kPrinterName));
      info.pServerName = PlaceServerName<kFilling>(
          block, string_at, prefix, Level2Text(printer, kServerName));
      info.Attributes = from.Attributes;
      PlaceRecord<kFilling>(info, block, record_at);
      break;
    }
    case 5: {
      PRINTER_INFO_5 info = {};
      info.pPrinterName = PlaceServerText<kFilling>(
          block, string_at, prefix, Level2Text(printer, kPrinterName));
      info.pPortName = PlaceString<kFilling>(block, string_at,
                                             Level2Text(printer, kPortName));
      info.Attributes = from.Attributes;
      PlaceRecord<kFilling>(info, block, record_at);
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

// Copies the parts, one after another and then a null, into the pool as
// one text, and returns where it begins.
LPWSTR KeepParts(TextPool& pool, std::initializer_list<std::wstring_view> parts) {
  std::size_t units = 1;
  for (std::wstring_view part : parts) units += part.size();
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
  for (std::wstring_view part : parts) {
    block.insert(block.end(), part.begin(), part.end());
  }
  block.push_back(L'\0');
  return block.data() + at;
}

}  // namespace

LPWSTR KeepText(TextPool& pool, std::wstring_view text) {
  return KeepParts(pool, {text});
}

void KeepPrinter(PrinterList& list, const PRINTER_INFO_1& level1,
                 const PRINTER_INFO_2& level2) {
  PrinterRecord printer = {level1, level2};
  for (std::size_t field = 0; field < std::size(kLevel1Texts); ++field) {
    printer.lengths.level1[field] = Measure(level1.*kLevel1Texts[field]);
  }
  for (std::size_t field = 0; field < std::size(kLevel2Texts); ++field) {
    printer.lengths.level2[field] = Measure(level2.*kLevel2Texts[field]);
  }
  printer.measured = true;
  list.printers.push_back(printer);
}

LPWSTR KeepDescription(TextPool& pool, LPCWSTR name, LPCWSTR driver,
                       LPCWSTR location) {
  const auto part = [](LPCWSTR text) {
    return text == nullptr ? std::wstring_view() : std::wstring_view(text);
  };
  return KeepParts(pool, {part(name), L",", part(driver), L",", part(location)});
}

void AddPrinterRecord(PrinterList& list, const PRINTER_INFO_2& info,
                      LPWSTR comment, LPCWSTR place) {
  PRINTER_INFO_1 level1 = {};
  level1.Flags = PRINTER_ENUM_ICON8;
  level1.pName = info.pPrinterName;
  level1.pComment = comment;
  level1.pDescription =
      KeepDescription(list.text, info.pPrinterName, info.pDriverName, place);
  KeepPrinter(list, level1, info);
}

void AppendPrinters(PrinterList& to, PrinterList&& from) {
  if (to.printers.empty() && to.text.empty()) {
    to = std::move(from);
    return;
  }
  to.text.reserve(to.text.size() + from.text.size());
  for (std::vector<WCHAR>& block : from.text) {
    to.text.push_back(std::move(block));
  }
  to.printers.insert(to.printers.end(), from.printers.begin(),
                     from.printers.end());
  // What held them goes back at once: a run keeps thousands of lists.
  from = PrinterList();
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
    PlacePrinter<false>(level, *printers[k], prefix, nullptr, k * record, size);
  }
  if (!Fits(size, buffer, cbBuf)) return ReportedSize(size);

  std::size_t string_at = strings;
  for (std::size_t k = 0; k < printers.size(); ++k) {
    PlacePrinter<true>(level, *printers[k], prefix, buffer, k * record,
                       string_at);
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
