// The mapping from IPP printer attributes to the platform's record fields,
// done once per printer when an answer is read.
#include "spooler/ipp/ipp_printers.h"

#include "spooler/device_uri.h"
#include "spooler/ipp/ipp_message.h"
#include "spooler/utf8_text.h"

namespace {

// printer-type bits (a CUPS extension) and printer-state values.
const long long kTypeRemote = 0x0002;
const long long kTypeDefault = 0x20000;
const long long kStateProcessing = 4;
const long long kStateStopped = 5;

// What is read of each printer, in this order, in these value types only.
enum PrinterValue {
  kName, kInfo, kLocation, kMakeAndModel, kDeviceUri, kType, kShared,
  kState, kJobs
};

// Made for each use rather than kept: answers are read on the run's own
// thread too, which may still be at work while the process's statics go.
std::vector<IppWanted> Wanted() {
  return {
      {"printer-name",
       {kIppName, kIppNameWithLanguage, kIppText, kIppTextWithLanguage}},
      {"printer-info", {kIppText, kIppTextWithLanguage}},
      {"printer-location", {kIppText, kIppTextWithLanguage}},
      {"printer-make-and-model", {kIppText, kIppTextWithLanguage}},
      {"device-uri", {kIppUri}},
      {"printer-type", {kIppEnum, kIppInteger}},
      {"printer-is-shared", {kIppBoolean}},
      {"printer-state", {kIppEnum}},
      {"queued-job-count", {kIppInteger}},
  };
}

// A text value kept in the pool; null when the printer has none.
LPWSTR KeepValue(const IppValues& values, PrinterValue which, TextPool& pool,
                 std::wstring& scratch) {
  if (!values[which]) return nullptr;
  WideFromUtf8(*values[which], scratch);
  return KeepText(pool, scratch);
}

void AddPrinter(const IppValues& values, PrinterList& list,
                std::wstring& scratch) {
  TextPool& pool = list.text;
  const long long type = IppInteger(values[kType]).value_or(0);
  const bool remote = type > 0 && (type & kTypeRemote) != 0;
  const bool shared = IppBoolean(values[kShared]).value_or(false);

  PRINTER_INFO_2 info = {};
  info.pPrinterName = KeepValue(values, kName, pool, scratch);
  if (info.pPrinterName == nullptr) info.pPrinterName = KeepText(pool, L"");
  info.pComment = KeepValue(values, kInfo, pool, scratch);
  info.pLocation = KeepValue(values, kLocation, pool, scratch);
  info.pDriverName = KeepValue(values, kMakeAndModel, pool, scratch);
  if (shared) info.pShareName = info.pPrinterName;
  if (values[kDeviceUri]) {
    const std::string uri(*values[kDeviceUri]);
    WideFromUtf8(UriWithoutCredentials(uri), scratch);
    info.pPortName = KeepText(pool, scratch);
    const std::string host = remote ? UriHost(uri) : std::string();
    if (!host.empty()) {
      WideFromUtf8(host, scratch);
      info.pServerName = KeepText(pool, L"\\\\" + scratch);
    }
  }
  info.Attributes = remote ? PRINTER_ATTRIBUTE_NETWORK : PRINTER_ATTRIBUTE_LOCAL;
  if (shared) info.Attributes |= PRINTER_ATTRIBUTE_SHARED;
  if (type > 0 && (type & kTypeDefault) != 0) {
    info.Attributes |= PRINTER_ATTRIBUTE_DEFAULT;
  }
  const long long state = IppInteger(values[kState]).value_or(0);
  if (state == kStateProcessing) info.Status = PRINTER_STATUS_PRINTING;
  if (state == kStateStopped) info.Status = PRINTER_STATUS_PAUSED;
  const long long jobs = IppInteger(values[kJobs]).value_or(0);
  info.cJobs = jobs > 0 ? static_cast<DWORD>(jobs) : 0;

  AddPrinterRecord(list, info, info.pComment, info.pLocation);
}

}  // namespace

std::vector<std::string> PrinterAttributeNames() {
  std::vector<std::string> names;
  for (const IppWanted& wanted : Wanted()) names.push_back(wanted.name);
  return names;
}

std::optional<PrinterList> PrintersInAnswer(std::string_view answer) {
  // Counted first, so that the records take what they need and no more;
  // then made group by group, so that the answer's values are never held
  // all at once beside them.
  const std::optional<std::size_t> count =
      CountIppGroups(answer, kIppPrinterGroup);
  if (!count) return std::nullopt;
  PrinterList list;
  // Successful status codes are 0x0000 to 0x00FF.
  const int status = IppStatus(answer);
  if (status < 0 || status > 0xFF) return list;
  list.printers.reserve(*count);
  const std::vector<IppWanted> wanted = Wanted();
  IppGroupReader reader = {answer, kIppPrinterGroup};
  IppValues values;
  std::wstring scratch;
  while (ReadIppGroup(reader, wanted, values) == kIppGroup) {
    AddPrinter(values, list, scratch);
  }
  return list;
}

bool IsRemotePrinter(const PrinterRecord& printer) {
  return (printer.level2.Attributes & PRINTER_ATTRIBUTE_NETWORK) != 0;
}

bool IsSharedPrinter(const PrinterRecord& printer) {
  return (printer.level2.Attributes & PRINTER_ATTRIBUTE_SHARED) != 0;
}
