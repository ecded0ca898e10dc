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
// Every answer comes from the run's one view of the server's queues, taken
// with one IPP request at the first call that needs the server: a filling
// call finds exactly what its sizing call measured, and every scope and
// level of a report shows the same queues. A block too small for the answer
// is left alone.
#include <optional>
#include <vector>

#include "spooler/cups/cups_queues.h"
#include "spooler/cups/printer_records.h"
#include "spooler/cups/queue_fields.h"
#include "spooler/cups/queue_view.h"
#include "spooler/cups/server_name.h"
#include "spooler/spooler.h"

namespace {

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
  const std::optional<std::vector<CupsQueue>>& queues = CupsQueueView();
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
  // Any answer at all, queues or none, shows the server is there.
  if (!CupsQueueView()) return TRUE;
  needed = LayOutServer(CupsServerName(), buffer, cbBuf, returned);
  return Answer(needed, returned);
}

BOOL ListServerQueues(LPCWSTR name, DWORD level, LPBYTE buffer, DWORD cbBuf,
                      DWORD& needed, DWORD& returned) {
  if (level != 1 || !IsCupsServerName(name)) return FALSE;
  const std::optional<std::vector<CupsQueue>>& queues = CupsQueueView();
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
