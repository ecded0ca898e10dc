// Asking the run's print servers, side by side, once.
#include "spooler/remote/server_answers.h"

#include <sys/types.h>

#include <atomic>
#include <future>
#include <memory>
#include <system_error>

#include "spooler/cups/cups_server.h"
#include "spooler/device_uri.h"
#include "spooler/ipp/http_exchange.h"
#include "spooler/ipp/ipp_message.h"
#include "spooler/ipp/ipp_printers.h"
#include "spooler/remote/server_names.h"
#include "spooler/utf8_text.h"
#ifdef QUELVARO_HAVE_SMB
#include "spooler/smb/smb_shares.h"
#endif

namespace {

// How many servers are asked at once, at most. Each waits mostly on the
// network; the bound is for a machine whose queues print to very many.
const std::size_t kMostAskers = 16;

// Each server's answer, and the askers that make them (waited for when
// the run ends).
using ServerAnswers = std::pair<std::vector<std::shared_future<PrinterList>>,
                                std::vector<std::future<void>>>;

void AppendPrinters(PrinterList& to, PrinterList&& from) {
  for (std::vector<WCHAR>& block : from.text) {
    to.text.push_back(std::move(block));
  }
  to.printers.insert(to.printers.end(), from.printers.begin(), from.printers.end());
}

// The printers an IPP exchange with uri's host answers with; status is the
// exchange's HTTP status (0: no answer came).
std::optional<PrinterList> AskIpp(const std::string& uri, int operation,
                                  Deadline deadline, int& status) {
  const bool server = operation == kIppCupsGetPrinters;
  const std::optional<std::string> answer = PostIpp(
      UriHost(uri), UriPort(uri), server ? "/" : UriResource(uri),
      IppRequest(operation, server ? "" : uri, CupsUser(),
                 PrinterAttributeNames()),
      deadline, &status);
  if (!answer) return std::nullopt;
  return PrintersInAnswer(*answer);
}

// The SMB listings started for one server: each a child process and its
// pipe.
using SmbStarted = std::vector<std::pair<pid_t, int>>;

// Starts the listing of every SMB server, each in a child process of its
// own. Called before any asker thread runs, so that no other thread can hold
// a lock the child would wait for.
std::vector<SmbStarted> StartSmbListings(const std::vector<KnownServer>& servers,
                                         Deadline deadline) {
  std::vector<SmbStarted> started(servers.size());
#ifdef QUELVARO_HAVE_SMB
  for (std::size_t i = 0; i < servers.size(); ++i) {
    for (const std::string& uri : servers[i].uris) {
      if (uri.compare(0, 4, "smb:") != 0) continue;
      started[i].push_back(StartSmbListing(UriHost(uri), deadline));
    }
  }
#else
  static_cast<void>(servers);
  static_cast<void>(deadline);
#endif
  return started;
}

// An SMB server's printer shares, as the listings started for it give them,
// each as the platform shows a share: the share's name, "name,,comment" (no
// driver) and the comment.
PrinterList SmbPrinters(const SmbStarted& listings, Deadline deadline) {
  PrinterList printers;
#ifdef QUELVARO_HAVE_SMB
  std::wstring text;
  for (const std::pair<pid_t, int>& listing : listings) {
    const auto shares = FinishSmbListing(listing, deadline);
    if (!shares) continue;
    for (const std::pair<std::string, std::string>& share : *shares) {
      PRINTER_INFO_2 info = {};
      WideFromUtf8(share.first, text);
      info.pPrinterName = KeepText(printers.text, text);
      info.pShareName = info.pPrinterName;
      WideFromUtf8(share.second, text);
      info.pComment = KeepText(printers.text, text);
      info.Attributes = PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_SHARED;
      PRINTER_INFO_1 level1 = {};
      level1.Flags = PRINTER_ENUM_ICON8;
      level1.pName = info.pPrinterName;
      level1.pComment = info.pComment;
      text = std::wstring(info.pPrinterName) + L",," + info.pComment;
      level1.pDescription = KeepText(printers.text, text);
      printers.printers.push_back({level1, info});
    }
  }
#else
  static_cast<void>(listings);
  static_cast<void>(deadline);
#endif
  return printers;
}

// Asks one server by each of its IPP URIs in turn, all by the deadline: a
// CUPS server answers CUPS-Get-Printers with its queues, and that is the
// whole answer from that host; any other printer is asked for itself
// (Get-Printer-Attributes at each of its printer URIs). Then the shares its
// SMB listings found. A server that does not answer in time gives what it
// gave by then.
PrinterList AskServer(const KnownServer& server, const SmbStarted& listings,
                      Deadline deadline) {
  PrinterList printers;
  bool asked_as_server = false;
  bool cups_server = false;
  int status = 0;
  for (const std::string& uri : server.uris) {
    if (std::chrono::steady_clock::now() >= deadline) break;
    if (uri.compare(0, 4, "smb:") == 0) continue;
    // All of a server's printer URIs name the same host: it is asked what
    // it is once. A host that did not answer that is not asked again.
    if (!asked_as_server) {
      asked_as_server = true;
      std::optional<PrinterList> queues =
          AskIpp(uri, kIppCupsGetPrinters, deadline, status);
      cups_server = queues && !queues->printers.empty();
      if (cups_server) AppendPrinters(printers, std::move(*queues));
    }
    if (cups_server || status == 0) continue;
    std::optional<PrinterList> itself =
        AskIpp(uri, kIppGetPrinterAttributes, deadline, status);
    if (itself) AppendPrinters(printers, std::move(*itself));
  }
  AppendPrinters(printers, SmbPrinters(listings, deadline));
  return printers;
}

ServerAnswers AskAll(const std::vector<KnownServer>& servers) {
  const Deadline deadline = std::chrono::steady_clock::now() + kServerBound;
  auto listings = std::make_shared<std::vector<SmbStarted>>(
      StartSmbListings(servers, deadline));
  auto promises =
      std::make_shared<std::vector<std::promise<PrinterList>>>(servers.size());
  auto next = std::make_shared<std::atomic<std::size_t>>(0);
  ServerAnswers answers;
  for (std::promise<PrinterList>& promise : *promises) {
    answers.first.push_back(promise.get_future().share());
  }
  // Each asker takes the next server not yet taken until none is left.
  const auto ask = [&servers, listings, promises, next, deadline] {
    for (std::size_t i = (*next)++; i < servers.size(); i = (*next)++) {
      (*promises)[i].set_value(
          servers[i].uris.empty()
              ? PrinterList()
              : AskServer(servers[i], (*listings)[i], deadline));
    }
  };
  try {
    for (std::size_t k = 0; k < std::min(kMostAskers, servers.size()); ++k) {
      answers.second.push_back(std::async(std::launch::async, ask));
    }
  } catch (const std::system_error&) {
    // No more threads: those started do the rest, or this one does.
    if (answers.second.empty()) ask();
  }
  return answers;
}

}  // namespace

const PrinterList* ServerPrinters(const std::wstring& name) {
  const std::vector<KnownServer>& servers = KnownServers();
  std::size_t found = servers.size();
  for (std::size_t i = 0; i < servers.size() && found == servers.size(); ++i) {
    if (IsSameServerName(name.c_str(), servers[i].name)) found = i;
  }
  if (found == servers.size() || servers[found].uris.empty()) return nullptr;
  // State the spooler keeps for the run: every server's answer, asked for
  // at the first question about any of them.
  static const ServerAnswers answers = AskAll(servers);
  return &answers.first[found].get();
}
