// Laying out PRINTER_INFO_1, 2, 4 and 5 records and their strings. Each
// answer is laid out twice by the same code: first with no block, to add up
// the exact size, then, when the caller's block is large enough, into it.
#include "spooler/cups/printer_records.h"

#include <cstring>
#include <limits>
#include <optional>

#include "spooler/cups/queue_fields.h"
#include "spooler/printer_info_layout.h"

namespace {

// Puts text at offset in the block and moves offset past it; returns where
// it went. Without a block (while sizing) only offset moves. No text: a null
// pointer, and no bytes.
LPWSTR PlaceString(LPBYTE block, std::size_t& offset,
                   const std::optional<std::wstring>& text) {
  if (!text) return nullptr;
  const std::size_t bytes = (text->size() + 1) * sizeof(WCHAR);
  LPWSTR at = nullptr;
  if (block != nullptr) {
    at = reinterpret_cast<LPWSTR>(block + offset);
    std::memcpy(block + offset, text->c_str(), bytes);
  }
  offset += bytes;
  return at;
}

// Copies a finished record into the block; the block need not be aligned.
template <typename Record>
void PlaceRecord(const Record& record, LPBYTE block, std::size_t at) {
  if (block != nullptr) std::memcpy(block + at, &record, sizeof record);
}

void PlaceQueue(DWORD level, const CupsQueue& queue, LPBYTE block,
                std::size_t record_at, std::size_t& string_at) {
  switch (level) {
    case 1: {
      PRINTER_INFO_1 info = {};
      info.Flags = PRINTER_ENUM_ICON8;
      info.pDescription =
          PlaceString(block, string_at, QueueDescription(queue));
      info.pName = PlaceString(block, string_at, QueueName(queue));
      info.pComment =
          PlaceString(block, string_at, QueueText(queue, "printer-info"));
      PlaceRecord(info, block, record_at);
      break;
    }
    case 2: {
      PRINTER_INFO_2 info = {};
      info.pServerName = PlaceString(block, string_at, QueueServer(queue));
      info.pPrinterName = PlaceString(block, string_at, QueueName(queue));
      info.pShareName = PlaceString(block, string_at, QueueShareName(queue));
      info.pPortName = PlaceString(block, string_at, QueuePort(queue));
      info.pDriverName = PlaceString(
          block, string_at, QueueText(queue, "printer-make-and-model"));
      info.pComment =
          PlaceString(block, string_at, QueueText(queue, "printer-info"));
      info.pLocation =
          PlaceString(block, string_at, QueueText(queue, "printer-location"));
      info.Attributes = QueueAttributes(queue);
      info.Status = QueueStatus(queue);
      info.cJobs = QueueJobs(queue);
      PlaceRecord(info, block, record_at);
      break;
    }
    case 4: {
      PRINTER_INFO_4 info = {};
      info.pPrinterName = PlaceString(block, string_at, QueueName(queue));
      info.pServerName = PlaceString(block, string_at, QueueServer(queue));
      info.Attributes = QueueAttributes(queue);
      PlaceRecord(info, block, record_at);
      break;
    }
    case 5: {
      PRINTER_INFO_5 info = {};
      info.pPrinterName = PlaceString(block, string_at, QueueName(queue));
      info.pPortName = PlaceString(block, string_at, QueuePort(queue));
      info.Attributes = QueueAttributes(queue);
      PlaceRecord(info, block, record_at);
      break;
    }
    default:
      break;
  }
}

void PlaceServer(const std::wstring& name, LPBYTE block,
                 std::size_t& string_at) {
  PRINTER_INFO_1 info = {};
  // A container to be enumerated further by name, with the server's icon.
  info.Flags = PRINTER_ENUM_EXPAND | PRINTER_ENUM_CONTAINER |
               PRINTER_ENUM_ICON3;
  info.pDescription = PlaceString(block, string_at, name);
  info.pName = PlaceString(block, string_at, name);
  PlaceRecord(info, block, 0);
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

bool IsRecordLevel(DWORD level) { return PrinterInfoSize(level) != 0; }

std::vector<std::string> RecordAttributes(DWORD level, bool remote_queues) {
  switch (level) {
    case 1:
      return {"printer-name", "printer-info", "printer-make-and-model",
              "printer-location"};
    case 2:
      return {"printer-name",      "printer-info",     "printer-location",
              "printer-make-and-model", "device-uri",  "printer-type",
              "printer-is-shared", "printer-state",    "queued-job-count"};
    case 4:
      if (remote_queues) {
        return {"printer-name", "printer-type", "printer-is-shared",
                "device-uri"};
      }
      return {"printer-name", "printer-type", "printer-is-shared"};
    case 5:
      return {"printer-name", "device-uri", "printer-type",
              "printer-is-shared"};
    default:
      return {};
  }
}

DWORD LayOutQueues(DWORD level, const std::vector<CupsQueue>& queues,
                   LPBYTE buffer, DWORD cbBuf, DWORD& returned) {
  returned = 0;
  const std::size_t record = PrinterInfoSize(level);
  if (record == 0 || queues.empty()) return 0;

  const std::size_t strings = record * queues.size();
  std::size_t size = strings;
  for (std::size_t k = 0; k < queues.size(); ++k) {
    PlaceQueue(level, queues[k], nullptr, k * record, size);
  }
  if (!Fits(size, buffer, cbBuf)) return ReportedSize(size);

  std::size_t string_at = strings;
  for (std::size_t k = 0; k < queues.size(); ++k) {
    PlaceQueue(level, queues[k], buffer, k * record, string_at);
  }
  returned = static_cast<DWORD>(queues.size());
  return ReportedSize(size);
}

DWORD LayOutServer(const std::wstring& name, LPBYTE buffer, DWORD cbBuf,
                   DWORD& returned) {
  returned = 0;
  std::size_t size = sizeof(PRINTER_INFO_1);
  PlaceServer(name, nullptr, size);
  if (!Fits(size, buffer, cbBuf)) return ReportedSize(size);

  std::size_t string_at = sizeof(PRINTER_INFO_1);
  PlaceServer(name, buffer, string_at);
  returned = 1;
  return ReportedSize(size);
}
