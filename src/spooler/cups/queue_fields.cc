// The mapping from CUPS queue attributes to the platform's record fields.
#include "spooler/cups/queue_fields.h"

#include <cstdlib>

#include "spooler/cups/device_uri.h"
#include "spooler/cups/utf8_text.h"

namespace {

// printer-state values.
const DWORD kStateProcessing = 4;
const DWORD kStateStopped = 5;

// An integer or enum attribute; 0 when absent, malformed or negative.
DWORD QueueNumber(const CupsQueue& queue, const std::string& attribute) {
  const auto found = queue.find(attribute);
  if (found == queue.end()) return 0;
  char* end = nullptr;
  const long long value = std::strtoll(found->second.c_str(), &end, 10);
  if (end == found->second.c_str() || *end != '\0' || value < 0 ||
      value > 0xFFFFFFFFLL) {
    return 0;
  }
  return static_cast<DWORD>(value);
}

std::optional<std::string> QueueBytes(const CupsQueue& queue,
                                      const std::string& attribute) {
  const auto found = queue.find(attribute);
  if (found == queue.end()) return std::nullopt;
  return found->second;
}

}  // namespace

bool IsRemoteQueue(const CupsQueue& queue) {
  return (QueueNumber(queue, "printer-type") & CUPS_PRINTER_REMOTE) != 0;
}

bool IsSharedQueue(const CupsQueue& queue) {
  return QueueBytes(queue, "printer-is-shared").value_or("") == "true";
}

std::optional<std::wstring> QueueText(const CupsQueue& queue,
                                      const std::string& attribute) {
  std::optional<std::string> bytes = QueueBytes(queue, attribute);
  if (!bytes) return std::nullopt;
  return WideFromUtf8(*bytes);
}

std::wstring QueueName(const CupsQueue& queue) {
  return QueueText(queue, "printer-name").value_or(std::wstring());
}

std::wstring QueueDescription(const CupsQueue& queue) {
  return QueueName(queue) + L"," +
         QueueText(queue, "printer-make-and-model").value_or(std::wstring()) +
         L"," + QueueText(queue, "printer-location").value_or(std::wstring());
}

std::optional<std::wstring> QueueShareName(const CupsQueue& queue) {
  if (!IsSharedQueue(queue)) return std::nullopt;
  return QueueName(queue);
}

std::optional<std::wstring> QueuePort(const CupsQueue& queue) {
  std::optional<std::string> uri = QueueBytes(queue, "device-uri");
  if (!uri) return std::nullopt;
  return WideFromUtf8(UriWithoutCredentials(*uri));
}

std::optional<std::wstring> QueueServer(const CupsQueue& queue) {
  if (!IsRemoteQueue(queue)) return std::nullopt;
  std::optional<std::string> uri = QueueBytes(queue, "device-uri");
  if (!uri) return std::nullopt;
  const std::string host = UriHost(*uri);
  if (host.empty()) return std::nullopt;
  return L"\\\\" + WideFromUtf8(host);
}

DWORD QueueAttributes(const CupsQueue& queue) {
  const DWORD type = QueueNumber(queue, "printer-type");
  DWORD attributes = (type & CUPS_PRINTER_REMOTE) != 0
                         ? PRINTER_ATTRIBUTE_NETWORK
                         : PRINTER_ATTRIBUTE_LOCAL;
  if (IsSharedQueue(queue)) attributes |= PRINTER_ATTRIBUTE_SHARED;
  if ((type & CUPS_PRINTER_DEFAULT) != 0) {
    attributes |= PRINTER_ATTRIBUTE_DEFAULT;
  }
  return attributes;
}

DWORD QueueStatus(const CupsQueue& queue) {
  switch (QueueNumber(queue, "printer-state")) {
    case kStateProcessing: return PRINTER_STATUS_PRINTING;
    case kStateStopped: return PRINTER_STATUS_PAUSED;
    default: return 0;
  }
}

DWORD QueueJobs(const CupsQueue& queue) {
  return QueueNumber(queue, "queued-job-count");
}
