// The spooler of a machine whose printing system is CUPS: EnumPrintersW
// answered from the CUPS server that lpstat talks to.
//
//   Local (0x02), levels 1, 2, 4, 5    the queues that are not remote
//   with Shared (0x22)                 those of them that are shared
//   Connections (0x04)                 the remote queues
//   Network (0x40, 0x60)               nothing: no domain, no discovery
//   Remote (0x10), level 1             one record for the server itself
//   by name (0x08), level 1, the       the server's queues
//     server's "\\" name
//   any other level or name            nothing, and no question asked
//
// Every answer that needs the server costs one IPP request, and each call
// asks afresh: a sizing call and the filling call after it may see different
// queues, and each reports the size of what it saw, filling only what fits.
#include <optional>
#include <vector>

#include "spooler/cups/cups_queues.h"
#include "spooler/cups/printer_records.h"
#include "spooler/cups/queue_fields.h"
#include "spooler/cups/server_name.h"
#include "spooler/spooler.h"

namespace {

void AddAttribute(std::vector<std::string>& attributes,
                  const std::string& attribute) {
  for (const std::string& present : attributes) {
    if (present == attribute) return;
  }
  attributes.push_back(attribute);
}

// The attributes a listing of queues needs: those of its records, and those
// it selects the queues by.
std::vector<std::string> ListingAttributes(DWORD flags, DWORD level) {
  const bool remote = (flags & PRINTER_ENUM_CONNECTIONS) != 0;
  std::vector<std::string> attributes = RecordAttributes(level, remote);
  AddAttribute(attributes, "printer-type");
  if ((flags & PRINTER_ENUM_SHARED) != 0) {
    AddAttribute(attributes, "printer-is-shared");
  }
  return attributes;
}

bool Selected(DWORD flags, const CupsQueue& queue) {
  const bool wanted = IsRemoteQueue(queue)
                          ? (flags & PRINTER_ENUM_CONNECTIONS) != 0
                          : (flags & PRINTER_ENUM_LOCAL) != 0;
  return wanted && ((flags & PRINTER_ENUM_SHARED) == 0 || IsSharedQueue(queue));
}

// The answer is TRUE when it was written whole (or there is nothing),
// FALSE when the block is too small for it.
BOOL Answer(DWORD needed, DWORD returned) {
  return needed == 0 || returned != 0 ? TRUE : FALSE;
}

BOOL ListQueues(DWORD flags, DWORD level, LPBYTE buffer, DWORD cbBuf,
                DWORD& needed, DWORD& returned) {
  if (!IsRecordLevel(level)) return FALSE;
  std::optional<std::vector<CupsQueue>> queues =
      AskCupsQueues(ListingAttributes(flags, level), 0);
  if (!queues) return TRUE;
  std::vector<CupsQueue> selected;
  for (const CupsQueue& queue : *queues) {
    if (Selected(flags, queue)) selected.push_back(queue);
  }
  needed = LayOutQueues(level, selected, buffer, cbBuf, returned);
  return Answer(needed, returned);
}

BOOL ListServer(DWORD level, LPBYTE buffer, DWORD cbBuf, DWORD& needed,
                DWORD& returned) {
  if (level != 1) return FALSE;
  // Any answer at all shows the server is there; one queue's name is the
  // least it can be asked for.
  if (!AskCupsQueues({"printer-name"}, 1)) return TRUE;
  needed = LayOutServer(CupsServerName(), buffer, cbBuf, returned);
  return Answer(needed, returned);
}

BOOL ListServerQueues(LPCWSTR name, DWORD level, LPBYTE buffer, DWORD cbBuf,
                      DWORD& needed, DWORD& returned) {
  if (level != 1 || !IsCupsServerName(name)) return FALSE;
  std::optional<std::vector<CupsQueue>> queues =
      AskCupsQueues(RecordAttributes(1, true), 0);
  if (!queues) return TRUE;
  needed = LayOutQueues(1, *queues, buffer, cbBuf, returned);
  return Answer(needed, returned);
}

}  // namespace

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level,
                          LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  if (pcbNeeded == nullptr || pcReturned == nullptr) return FALSE;
  DWORD needed = 0;
  DWORD returned = 0;
  if (pPrinterEnum == nullptr) cbBuf = 0;

  BOOL result = TRUE;
  if ((Flags & PRINTER_ENUM_NAME) != 0) {
    result = ListServerQueues(Name, Level, pPrinterEnum, cbBuf, needed,
                              returned);
  } else if ((Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS)) != 0) {
    result = ListQueues(Flags, Level, pPrinterEnum, cbBuf, needed, returned);
  } else if ((Flags & PRINTER_ENUM_REMOTE) != 0) {
    result = ListServer(Level, pPrinterEnum, cbBuf, needed, returned);
  }
  *pcbNeeded = needed;
  *pcReturned = returned;
  return result;
}
