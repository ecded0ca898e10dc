// The spooler of a Linux machine: EnumPrintersW answered from the CUPS
// server that lpstat talks to, from what DNS-SD finds on the network, and
// from the print servers these lead to.
//
//   Local (0x02), levels 1, 2, 4, 5    the CUPS server's queues that are not
//                                      remote
//   with Shared (0x22)                 those of them that are shared
//   Connections (0x04)                 the remote queues (with Shared: the
//                                      shared ones)
//   Network (0x40), level 1            every printer DNS-SD finds (on the
//                                      local link and in unicast DNS), then
//                                      every WSD print device
//   with Shared (0x60)                 those that are queues a print server
//                                      shares
//   Remote (0x10), level 1             one record per print server known in
//                                      the run: the CUPS server itself, the
//                                      hosts remote queues print to, the
//                                      hosts sharing queues on DNS-SD
//   by name (0x08), levels 1, 2, 5,    that server's printers, named
//     one of those servers' "\\"       "\\server\printer"
//     names
//   by name, levels 2, 5, no name or   the local queues, as Local (the
//     an empty one                     platform's local computer)
//   any other level or name            nothing (FALSE, as the platform
//                                      refuses them), and no question asked
//
// Every source is asked once per run, in the background from the first call
// that needs any of them (run/run_thread.h), and its answer is kept for the
// run: a filling call finds exactly what its sizing call measured, and every
// scope and level shows the same printers. A call waits only for the source
// it needs (run_handoff.h). A block too small for the answer is left alone.
#include <new>
#include <optional>
#include <vector>

#include "spooler/cups/cups_server.h"
#include "spooler/dnssd/network_printers.h"
#include "spooler/ipp/ipp_printers.h"
#include "spooler/printer_records.h"
#include "spooler/remote/known_servers.h"
#include "spooler/remote/server_names.h"
#include "spooler/run/run_thread.h"
#include "spooler/run_failure.h"
#include "spooler/spooler.h"
#include "spooler/wsd/wsd_printers.h"

namespace {

bool Selected(DWORD flags, const PrinterRecord& queue) {
  const bool wanted = IsRemotePrinter(queue)
                          ? (flags & PRINTER_ENUM_CONNECTIONS) != 0
                          : (flags & PRINTER_ENUM_LOCAL) != 0;
  return wanted &&
         ((flags & PRINTER_ENUM_SHARED) == 0 || IsSharedPrinter(queue));
}

// What the run hands over, each once it is there. A run that could not run
// ends the program here, between two lines of the report (run_thread.h).
const std::optional<PrinterList>& QueueView() {
  const std::optional<PrinterList>& view =
      WaitForQueueView(ForkSmbStarterAndStartRunThreadOnce());
  EndProgramIfRunFailed();
  return view;
}

const Discovery& Discovered() {
  const Discovery& discovery =
      WaitForDiscovery(ForkSmbStarterAndStartRunThreadOnce());
  EndProgramIfRunFailed();
  return discovery;
}

const std::vector<KnownServer>& KnownServers() {
  const std::vector<KnownServer>& servers =
      WaitForKnownServers(ForkSmbStarterAndStartRunThreadOnce());
  EndProgramIfRunFailed();
  return servers;
}

const PrinterList* ServerPrinters(const std::wstring& name) {
  const PrinterList* printers =
      WaitForServerPrinters(ForkSmbStarterAndStartRunThreadOnce(), name);
  EndProgramIfRunFailed();
  return printers;
}

// The answer is TRUE when it was written whole (or there is nothing),
// FALSE when the block is too small for it.
BOOL Answer(DWORD needed, DWORD returned) {
  return needed == 0 || returned != 0 ? TRUE : FALSE;
}

BOOL ListQueues(DWORD flags, DWORD level, LPBYTE buffer, DWORD cbBuf,
                DWORD& needed, DWORD& returned) {
  if (!IsRecordLevel(level)) return FALSE;
  const std::optional<PrinterList>& queues = QueueView();
  if (!queues) return TRUE;
  std::vector<const PrinterRecord*> selected;
  for (const PrinterRecord& queue : queues->printers) {
    if (Selected(flags, queue)) selected.push_back(&queue);
  }
  needed = LayOutPrinters(level, selected, std::wstring(), buffer, cbBuf,
                          returned);
  return Answer(needed, returned);
}

// Every printer discovery found: DNS-SD's, then the WSD print devices.
PrinterList DiscoveredPrinters(const Discovery& discovery) {
  PrinterList printers = NetworkPrinters(discovery.services);
  AppendPrinters(printers, WsdPrinters(discovery.devices));
  return printers;
}

BOOL ListNetwork(DWORD flags, DWORD level, LPBYTE buffer, DWORD cbBuf,
                 DWORD& needed, DWORD& returned) {
  if (level != 1) return FALSE;
  static const PrinterList printers = DiscoveredPrinters(Discovered());
  std::vector<const PrinterRecord*> selected;
  for (const PrinterRecord& printer : printers.printers) {
    if ((flags & PRINTER_ENUM_SHARED) == 0 || IsSharedPrinter(printer)) {
      selected.push_back(&printer);
    }
  }
  needed = LayOutPrinters(level, selected, std::wstring(), buffer, cbBuf,
                          returned);
  return Answer(needed, returned);
}

// The servers as level-1 records: containers to be enumerated further by
// name, with the server's icon.
PrinterList ServerRecords(const std::vector<KnownServer>& servers) {
  PrinterList records;
  for (const KnownServer& server : servers) {
    PRINTER_INFO_1 info = {};
    info.Flags = PRINTER_ENUM_EXPAND | PRINTER_ENUM_CONTAINER |
                 PRINTER_ENUM_ICON3;
    info.pName = KeepText(records.text, server.name);
    info.pDescription = info.pName;
    PRINTER_INFO_2 level2 = {};
    level2.pPrinterName = info.pName;
    KeepPrinter(records, info, level2);
  }
  return records;
}

BOOL ListServers(DWORD level, LPBYTE buffer, DWORD cbBuf, DWORD& needed,
                 DWORD& returned) {
  if (level != 1) return FALSE;
  static const PrinterList servers = ServerRecords(KnownServers());
  needed = LayOutPrinters(level, AllPrinters(servers), std::wstring(), buffer,
                          cbBuf, returned);
  return Answer(needed, returned);
}

// The levels a by-name request names a server at: level 1 (what the report
// asks), and 2 and 5, which name the server whose printers are listed with
// their details. Level 4 names none (it is always the local computer's),
// and the platform takes no by-name request there.
bool IsServerLevel(DWORD level) { return level == 1 || level == 2 || level == 5; }

BOOL ListServerPrinters(LPCWSTR name, DWORD level, LPBYTE buffer, DWORD cbBuf,
                        DWORD& needed, DWORD& returned) {
  // Only a server's name, "\\host", can be one of the run's servers: any
  // other needs no source asked to be refused.
  if (!IsServerLevel(level) || name == nullptr || name[0] != L'\\' ||
      name[1] != L'\\') {
    return FALSE;
  }
  const std::wstring asked = name;
  const PrinterList* printers = nullptr;
  if (IsSameServerName(name, CupsServerName())) {
    const std::optional<PrinterList>& queues = QueueView();
    if (!queues) return TRUE;
    printers = &*queues;
  } else {
    printers = ServerPrinters(asked);
    if (printers == nullptr) return FALSE;
  }
  // The platform names a server's printers from the name it was asked by.
  needed = LayOutPrinters(level, AllPrinters(*printers), asked, buffer, cbBuf,
                          returned);
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
  const bool no_name = Name == nullptr || Name[0] == L'\0';
  // The spooler's own failure to run ends the program: no answer it could
  // give would say it.
  try {
    if ((Flags & PRINTER_ENUM_NAME) != 0 && no_name &&
        (Level == 2 || Level == 5)) {
      // At levels 2 and 5 no name is the local computer: its printers, as
      // Local lists them. (At level 1 the platform lists its print
      // providers there, which this spooler has none of to show.)
      result = ListQueues(PRINTER_ENUM_LOCAL | (Flags & PRINTER_ENUM_SHARED),
                          Level, pPrinterEnum, cbBuf, needed, returned);
    } else if ((Flags & PRINTER_ENUM_NAME) != 0) {
      result = ListServerPrinters(Name, Level, pPrinterEnum, cbBuf, needed,
                                  returned);
    } else if ((Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS)) != 0) {
      result = ListQueues(Flags, Level, pPrinterEnum, cbBuf, needed, returned);
    } else if ((Flags & PRINTER_ENUM_NETWORK) != 0) {
      result = ListNetwork(Flags, Level, pPrinterEnum, cbBuf, needed, returned);
    } else if ((Flags & PRINTER_ENUM_REMOTE) != 0) {
      result = ListServers(Level, pPrinterEnum, cbBuf, needed, returned);
    }
  } catch (const RunFailure& failure) {
    EndProgramForFailure(failure);
  } catch (const std::bad_alloc&) {
    EndProgramForFailure(MakeRunFailure("out of memory"));
  }
  *pcbNeeded = needed;
  *pcReturned = returned;
  return result;
}
