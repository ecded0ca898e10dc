// One server's asking, step by step.
#include "spooler/remote/server_asking.h"

#include <algorithm>

#include "spooler/ascii_case.h"
#include "spooler/device_uri.h"
#include "spooler/ipp/ipp_message.h"
#include "spooler/ipp/ipp_printers.h"
#include "spooler/run_limits.h"

namespace {

// ipps and https are asked over TLS from the first byte.
bool IsTlsUri(const std::string& uri) {
  return uri.compare(0, 5, "ipps:") == 0 || uri.compare(0, 6, "https:") == 0;
}

bool IsIppUnderWay(const ServerAsking& asking) {
  return asking.ipp == kIppWhatItIs || asking.ipp == kIppEachPrinter;
}

// The one place the IPP side moves on; once over, its connection closes.
void MoveIpp(ServerAsking& asking, IppStage to) {
  asking.ipp = to;
  if (to == kIppOver) CloseHttp(asking.http);
}

// Where a URI stands in the order the answers are handed over in: its place
// in `order`, else after all of those, in the order it became known.
std::size_t UriRank(const ServerAsking& asking, const std::string& uri) {
  const std::vector<std::string>& order = asking.order;
  const auto listed = std::find(order.begin(), order.end(), uri);
  if (listed != order.end()) return static_cast<std::size_t>(listed - order.begin());
  const std::vector<std::string>& known = asking.server.uris;
  return order.size() +
         static_cast<std::size_t>(std::find(known.begin(), known.end(), uri) -
                                  known.begin());
}

// The deadline of an asking (re)started now.
Deadline Bound(Deadline run_end, Deadline now) {
  return std::min(now + kServerBound, run_end);
}

// Whether the URI may be asked at: an IPP one, and over TLS only while the
// host's TLS is of use.
bool IsAskable(const ServerAsking& asking, const std::string& uri) {
  return !IsSmbUri(uri) &&
         (asking.host_tls != kTlsUnusable || !IsTlsUri(uri));
}

// The IPP request of an operation for uri: CUPS-Get-Printers of the host,
// or Get-Printer-Attributes of the printer.
HttpRequest IppRequestFor(const ServerAsking& asking, const std::string& uri,
                          int operation) {
  const bool server = operation == kIppCupsGetPrinters;
  return {UriHost(uri), UriPort(uri), server ? "/" : UriResource(uri),
          IppRequest(operation, server ? "" : uri, asking.user,
                     PrinterAttributeNames()),
          false, IsTlsUri(uri) || asking.host_tls == kTlsAlways};
}

// Sends the request over the asking's connection when it is to the same
// host and port and still open, else over a new one, once the host's
// addresses are known: at once for an address or a socket, after the loop's
// lookup for a name.
void Ask(ServerAsking& asking, HttpRequest request, Deadline now) {
  if (asking.http.fd >= 0 && AsciiLower(asking.http_host) == AsciiLower(request.host) &&
      asking.http_port == request.port) {
    BeginHttp(asking.http, std::move(request), asking.deadline, now);
    return;
  }
  CloseHttp(asking.http);
  asking.http = HttpExchange();
  asking.http_host = request.host;
  asking.http_port = request.port;
  if (std::optional<std::vector<SocketAddress>> numeric =
          NumericAddresses(request.host, request.port)) {
    asking.http.addresses = std::move(*numeric);
    BeginHttp(asking.http, std::move(request), asking.deadline, now);
    return;
  }
  asking.lookup_asked = false;
  BeginHttpLookup(asking.http, std::move(request), asking.deadline);
}

// Get-Printer-Attributes at the next printer URI not asked yet, or the end
// of the IPP side.
void AskNextPrinter(ServerAsking& asking, Deadline now) {
  for (const std::string& uri : asking.server.uris) {
    if (!IsAskable(asking, uri)) continue;
    const bool asked = std::any_of(
        asking.answers.begin(), asking.answers.end(),
        [&](const UriPrinters& answer) { return answer.uri == uri; });
    if (asked) continue;
    asking.printer_uri = uri;
    asking.answers.push_back({uri, {}});
    MoveIpp(asking, kIppEachPrinter);
    Ask(asking, IppRequestFor(asking, uri, kIppGetPrinterAttributes), now);
    return;
  }
  MoveIpp(asking, kIppOver);
}

// The URI a host is asked what it is at: its first plain IPP URI, else its
// first over TLS (IPP comes before IPPS, whatever became known first); none
// when it has no URI that may be asked.
std::optional<std::string> WhatItIsUri(const ServerAsking& asking) {
  std::optional<std::string> found;
  for (const std::string& uri : asking.server.uris) {
    if (!IsAskable(asking, uri)) continue;
    if (!IsTlsUri(uri)) return uri;
    if (!found) found = uri;
  }
  return found;
}

// CUPS-Get-Printers: of the machine's CUPS server where the configuration
// says (the one request of it, the connection closed after), else at the
// host's URI (WhatItIsUri): all of a server's printer URIs name the same
// host, which is asked what it is once.
void AskWhatItIs(ServerAsking& asking, Deadline now) {
  if (asking.cups) {
    const CupsHost& cups = *asking.cups;
    MoveIpp(asking, kIppWhatItIs);
    Ask(asking,
        {cups.host, cups.port, "/",
         IppRequest(kIppCupsGetPrinters, "", asking.user, PrinterAttributeNames()),
         true, cups.tls, cups.may_upgrade},
        now);
    return;
  }
  const std::optional<std::string> uri = WhatItIsUri(asking);
  if (!uri) {
    if (asking.ipp != kIppNotAsked) MoveIpp(asking, kIppOver);
    return;
  }
  asking.printer_uri = *uri;
  MoveIpp(asking, kIppWhatItIs);
  Ask(asking, IppRequestFor(asking, *uri, kIppCupsGetPrinters), now);
}

// The host answered CUPS-Get-Printers (or could not): what it is decides
// what comes next.
void TakeWhatItIs(ServerAsking& asking, int status,
                  std::optional<PrinterList> printers, Deadline now) {
  if (status == 0 && asking.http.tls_failed && !asking.cups &&
      asking.host_tls != kTlsUnusable) {
    // Its TLS is of no use here: asked again in plain IPP, at once where it
    // has a plain URI, else when one becomes known. (Once only: a plain
    // request it upgrades to TLS that fails again leaves it silent.)
    asking.host_tls = kTlsUnusable;
    AskWhatItIs(asking, now);
    return;
  }
  if (status == 0) {
    asking.host = kHostSilent;
  } else if (!printers) {
    asking.host = kHostNoIpp;
  } else {
    asking.host = printers->printers.empty() ? kHostPrinter : kHostCupsServer;
  }
  if (asking.host == kHostCupsServer || asking.cups) {
    // A CUPS server's queues are the whole answer from that host; the
    // machine's own is asked nothing more, whatever it answered.
    if (printers) asking.answers.push_back({asking.printer_uri, std::move(*printers)});
    MoveIpp(asking, kIppOver);
    return;
  }
  if (asking.host == kHostSilent) {
    // A host that did not answer that is not asked again.
    MoveIpp(asking, kIppOver);
    return;
  }
  AskNextPrinter(asking, now);
}

void TakeAnswer(ServerAsking& asking, Deadline now) {
  // A host that asked for TLS once is asked over TLS from then on.
  if (asking.http.upgraded && !asking.http.tls_failed) {
    asking.host_tls = kTlsAlways;
  }
  int status = 0;
  const std::optional<std::string> answer = IppAnswerOf(asking.http, &status);
  std::optional<PrinterList> printers;
  if (answer) printers = PrintersInAnswer(*answer);
  if (asking.ipp == kIppWhatItIs) {
    TakeWhatItIs(asking, status, std::move(printers), now);
    return;
  }
  UriPrinters& asked = asking.answers.back();
  if (printers) AppendPrinters(asked.printers, std::move(*printers));
  if (status == 0 && asking.http.tls_failed) {
    // This printer's TLS is of no use: its plain URIs may still answer.
    asking.host_tls = kTlsUnusable;
  } else if (status == 0) {
    // A host that stops answering is not asked at its other URIs.
    MoveIpp(asking, kIppOver);
    return;
  }
  AskNextPrinter(asking, now);
}

// Takes every answer that is there: a request that ended at once (no
// connection could even begin) moves the asking on at once too. Each
// answer taken asks at a URI not asked before, or ends the IPP side, so
// this ends.
void TakeAnswersThere(ServerAsking& asking, Deadline now) {
  while (IsIppUnderWay(asking) && IsHttpOver(asking.http)) {
    TakeAnswer(asking, now);
  }
}

// The host asked what it is gave no answer in time: it is not asked again.
void GiveUpWhatItIs(ServerAsking& asking) {
  if (asking.ipp == kIppWhatItIs && asking.host == kHostNotYet) {
    asking.host = kHostSilent;
  }
}

void Stop(ServerAsking& asking) {
  GiveUpWhatItIs(asking);
  if (asking.ipp != kIppNotAsked) MoveIpp(asking, kIppOver);
  CloseHttp(asking.http);
  EndShareListings(asking.smb);
}

}  // namespace

void StartAsking(ServerAsking& asking, Deadline run_end, Deadline now) {
  asking.started = true;
  asking.deadline = Bound(run_end, now);
  if (now >= asking.deadline) return;
  for (const std::string& uri : asking.server.uris) {
    if (IsSmbUri(uri)) {
      StartShareListing(asking.smb, asking.smb_starter, uri, asking.deadline, now);
    }
  }
  AskWhatItIs(asking, now);
  TakeAnswersThere(asking, now);
}

void AddAskingUri(ServerAsking& asking, const std::string& uri,
                  Deadline run_end, Deadline now) {
  std::vector<std::string>& uris = asking.server.uris;
  if (std::find(uris.begin(), uris.end(), uri) != uris.end()) return;
  uris.push_back(uri);
  if (!asking.started || now >= run_end) return;
  if (IsAskingOver(asking)) asking.deadline = Bound(run_end, now);
  if (IsSmbUri(uri)) {
    StartShareListing(asking.smb, asking.smb_starter, uri, asking.deadline, now);
  } else if (asking.ipp == kIppNotAsked ||
             (asking.ipp == kIppOver && asking.host == kHostNotYet)) {
    AskWhatItIs(asking, now);
  } else if (asking.ipp == kIppOver && !asking.cups &&
             (asking.host == kHostNoIpp || asking.host == kHostPrinter)) {
    AskNextPrinter(asking, now);
  }
  TakeAnswersThere(asking, now);
}

bool WantsAddresses(const ServerAsking& asking) {
  return asking.http.stage == kHttpLookingUp && !asking.lookup_asked;
}

void GiveAddresses(ServerAsking& asking, std::vector<SocketAddress> addresses,
                   Deadline now) {
  if (asking.http.stage != kHttpLookingUp) return;
  GiveHttpAddresses(asking.http, std::move(addresses), now);
  TakeAnswersThere(asking, now);
}

void AskingPolls(const ServerAsking& asking, PollSet& set, Deadline now) {
  if (!asking.started || IsAskingOver(asking)) return;
  WakeBy(set, asking.deadline);
  if (IsIppUnderWay(asking)) {
    WantPoll(set, asking.http.fd, HttpEvents(asking.http));
    WakeBy(set, HttpWakeTime(asking.http, now));
  }
  ShareListingPolls(asking.smb, set);
}

void ContinueAsking(ServerAsking& asking, const PollSet& set, Deadline now,
                    std::size_t room) {
  if (!asking.started || IsAskingOver(asking)) return;
  if (now >= asking.deadline) {
    Stop(asking);
    return;
  }
  // The listings only close their pipes; the connection's readiness is read
  // before the exchange opens any other.
  ContinueShareListings(asking.smb, set);
  if (IsIppUnderWay(asking)) {
    ContinueHttp(asking.http, ReadyEvents(set, asking.http.fd), now, room);
    TakeAnswersThere(asking, now);
  }
}

bool IsAskingOver(const ServerAsking& asking) {
  return !IsIppUnderWay(asking) && AreShareListingsOver(asking.smb);
}

bool HasIppAnswer(const ServerAsking& asking) {
  return asking.host == kHostPrinter || asking.host == kHostCupsServer;
}

std::size_t AskingDescriptors(const ServerAsking& asking) {
  std::size_t listings = 0;
  for (const std::string& uri : asking.server.uris) {
    if (IsSmbUri(uri)) ++listings;
  }
  return 1 + listings;
}

std::size_t AskingHeldBytes(const ServerAsking& asking) {
  return HttpHeldBytes(asking.http);
}

void AbandonAnswer(ServerAsking& asking) {
  AbandonHttp(asking.http);
  GiveUpWhatItIs(asking);
  if (IsIppUnderWay(asking)) MoveIpp(asking, kIppOver);
  CloseHttp(asking.http);
}

void ReleaseAsking(ServerAsking& asking) {
  Stop(asking);
  std::wstring name = std::move(asking.server.name);
  asking = ServerAsking();
  asking.server.name = std::move(name);
}

PrinterList StopAndTakePrinters(ServerAsking& asking) {
  Stop(asking);
  std::stable_sort(asking.answers.begin(), asking.answers.end(),
                   [&](const UriPrinters& a, const UriPrinters& b) {
                     return UriRank(asking, a.uri) < UriRank(asking, b.uri);
                   });
  std::stable_sort(asking.smb.begin(), asking.smb.end(),
                   [&](const ShareListing& a, const ShareListing& b) {
                     return UriRank(asking, a.uri) < UriRank(asking, b.uri);
                   });
  PrinterList printers;
  for (UriPrinters& answer : asking.answers) {
    AppendPrinters(printers, std::move(answer.printers));
  }
  for (ShareListing& listing : asking.smb) {
    AppendPrinters(printers, std::move(listing.shares));
  }
  return printers;
}
