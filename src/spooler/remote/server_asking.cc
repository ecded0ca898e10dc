// One server's asking, step by step.
#include "spooler/remote/server_asking.h"

#include <algorithm>

#include "spooler/ascii_case.h"
#include "spooler/device_uri.h"
#include "spooler/ipp/ipp_message.h"
#include "spooler/ipp/ipp_printers.h"
#include "spooler/run_limits.h"
#include "spooler/utf8_text.h"

namespace {

// ipps and https are asked over TLS from the first byte.
bool IsTlsUri(const std::string& uri) {
  return uri.compare(0, 5, "ipps:") == 0 || uri.compare(0, 6, "https:") == 0;
}

void AppendPrinters(PrinterList& to, PrinterList&& from) {
  for (std::vector<WCHAR>& block : from.text) {
    to.text.push_back(std::move(block));
  }
  to.printers.insert(to.printers.end(), from.printers.begin(),
                     from.printers.end());
}

#ifdef QUELVARO_HAVE_SMB
// An SMB server's printer shares, each as the platform shows a share: the
// share's name, "name,,comment" (no driver) and the comment.
PrinterList SharesAsPrinters(const SmbShareList& shares) {
  PrinterList printers;
  std::wstring text;
  for (const auto& share : shares) {
    PRINTER_INFO_2 info = {};
    WideFromUtf8(share.name, text);
    info.pPrinterName = KeepText(printers.text, text);
    info.pShareName = info.pPrinterName;
    WideFromUtf8(share.comment, text);
    info.pComment = KeepText(printers.text, text);
    info.Attributes = PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_SHARED;
    PRINTER_INFO_1 level1 = {};
    level1.Flags = PRINTER_ENUM_ICON8;
    level1.pName = info.pPrinterName;
    level1.pComment = info.pComment;
    level1.pDescription =
        KeepDescription(printers.text, info.pPrinterName, nullptr, info.pComment);
    printers.printers.push_back({level1, info});
  }
  return printers;
}
#endif

// The deadline of an asking (re)started now.
Deadline Bound(Deadline run_end, Deadline now) {
  return std::min(now + kServerBound, run_end);
}

void StartListing(ServerAsking& asking, const std::string& uri) {
  const std::string host = UriHost(uri);
  for (const ShareListing& listed : asking.smb) {
    if (AsciiLower(listed.host) == AsciiLower(host)) return;
  }
  ShareListing listing;
  listing.host = host;
#ifdef QUELVARO_HAVE_SMB
  listing.listing = StartSmbListing(asking.smb_starter, host, asking.deadline);
#endif
  listing.over = listing.listing.pipe < 0;
  asking.smb.push_back(std::move(listing));
}

void EndListing(ShareListing& listing) {
  if (listing.over) return;
  listing.over = true;
#ifdef QUELVARO_HAVE_SMB
  if (std::optional<SmbShareList> shares = EndSmbListing(listing.listing)) {
    listing.shares = SharesAsPrinters(*shares);
  }
#endif
}

// Whether the listing's child has said all it will.
bool ReadListing(ShareListing& listing) {
#ifdef QUELVARO_HAVE_SMB
  return ReadSmbListing(listing.listing);
#else
  static_cast<void>(listing);
  return true;
#endif
}

// The IPP request of an operation for uri: CUPS-Get-Printers of the host,
// or Get-Printer-Attributes of the printer.
HttpRequest IppRequestFor(const ServerAsking& asking, const std::string& uri,
                          int operation) {
  const bool server = operation == kIppCupsGetPrinters;
  return {UriHost(uri), UriPort(uri), server ? "/" : UriResource(uri),
          IppRequest(operation, server ? "" : uri, asking.user,
                     PrinterAttributeNames()),
          false, IsTlsUri(uri) || asking.host_asked_for_tls};
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
  asking.wants_addresses = true;
  asking.lookup_asked = false;
  asking.waiting = std::move(request);
}

// Get-Printer-Attributes at the next IPP URI, or the end of the IPP side.
void AskNextPrinter(ServerAsking& asking, Deadline now) {
  while (asking.next_uri < asking.server.uris.size()) {
    const std::string& uri = asking.server.uris[asking.next_uri++];
    if (IsSmbUri(uri)) continue;
    asking.ipp = kIppEachPrinter;
    Ask(asking, IppRequestFor(asking, uri, kIppGetPrinterAttributes), now);
    return;
  }
  asking.ipp = kIppOver;
  CloseHttp(asking.http);
}

// CUPS-Get-Printers: of the machine's CUPS server where the configuration
// says (the one request of it, the connection closed after), else at the
// first IPP URI: all of a server's printer URIs name the same host, which is
// asked what it is once.
void AskWhatItIs(ServerAsking& asking, Deadline now) {
  if (asking.cups) {
    const CupsHost& cups = *asking.cups;
    asking.ipp = kIppWhatItIs;
    Ask(asking,
        {cups.host, cups.port, "/",
         IppRequest(kIppCupsGetPrinters, "", asking.user, PrinterAttributeNames()),
         true, cups.tls, cups.may_upgrade},
        now);
    return;
  }
  for (const std::string& uri : asking.server.uris) {
    if (IsSmbUri(uri)) continue;
    asking.ipp = kIppWhatItIs;
    Ask(asking, IppRequestFor(asking, uri, kIppCupsGetPrinters), now);
    return;
  }
}

void TakeAnswer(ServerAsking& asking, Deadline now) {
  // A host that asked for TLS once is asked over TLS from then on.
  if (asking.http.upgraded) asking.host_asked_for_tls = true;
  int status = 0;
  const std::optional<std::string> answer = IppAnswerOf(asking.http, &status);
  std::optional<PrinterList> printers;
  if (answer) printers = PrintersInAnswer(*answer);
  if (asking.ipp == kIppWhatItIs) {
    asking.answered = status != 0;
    asking.ipp_answered = printers.has_value();
    asking.cups_server = printers && !printers->printers.empty();
    if (asking.cups_server || asking.cups) {
      // A CUPS server's queues are the whole answer from that host; the
      // machine's own is asked nothing more, whatever it answered.
      if (printers) AppendPrinters(asking.printers, std::move(*printers));
      asking.ipp = kIppOver;
      CloseHttp(asking.http);
      return;
    }
    if (!asking.answered) {
      // A host that did not answer that is not asked again.
      asking.ipp = kIppOver;
      CloseHttp(asking.http);
      return;
    }
    asking.next_uri = 0;
    AskNextPrinter(asking, now);
    return;
  }
  if (printers) AppendPrinters(asking.printers, std::move(*printers));
  if (status == 0) {
    asking.ipp = kIppOver;
    CloseHttp(asking.http);
    return;
  }
  AskNextPrinter(asking, now);
}

// Takes every answer that is there: a request that ended at once (no
// connection could even begin) moves the asking on at once too. Each
// answer taken moves to the next URI or ends the IPP side, so this ends.
void TakeAnswersThere(ServerAsking& asking, Deadline now) {
  while ((asking.ipp == kIppWhatItIs || asking.ipp == kIppEachPrinter) &&
         !asking.wants_addresses && IsHttpOver(asking.http)) {
    TakeAnswer(asking, now);
  }
}

void Stop(ServerAsking& asking) {
  CloseHttp(asking.http);
  asking.wants_addresses = false;
  if (asking.ipp != kIppNotAsked) asking.ipp = kIppOver;
  for (ShareListing& listing : asking.smb) EndListing(listing);
}

}  // namespace

void StartAsking(ServerAsking& asking, Deadline run_end, Deadline now) {
  asking.started = true;
  asking.deadline = Bound(run_end, now);
  for (const std::string& uri : asking.server.uris) {
    if (IsSmbUri(uri)) StartListing(asking, uri);
  }
  AskWhatItIs(asking, now);
  TakeAnswersThere(asking, now);
}

void AddAskingUri(ServerAsking& asking, const std::string& uri,
                  Deadline run_end, Deadline now) {
  std::vector<std::string>& uris = asking.server.uris;
  if (std::find(uris.begin(), uris.end(), uri) != uris.end()) return;
  uris.push_back(uri);
  if (!asking.started) return;
  if (IsAskingOver(asking)) asking.deadline = Bound(run_end, now);
  if (IsSmbUri(uri)) {
    StartListing(asking, uri);
  } else if (asking.ipp == kIppNotAsked) {
    AskWhatItIs(asking, now);
  } else if (asking.ipp == kIppOver && asking.answered && !asking.cups_server &&
             !asking.cups) {
    AskNextPrinter(asking, now);
  }
  TakeAnswersThere(asking, now);
}

void GiveAddresses(ServerAsking& asking, std::vector<SocketAddress> addresses,
                   Deadline now) {
  if (!asking.wants_addresses) return;
  asking.wants_addresses = false;
  asking.http.addresses = std::move(addresses);
  BeginHttp(asking.http, std::move(asking.waiting), asking.deadline, now);
  TakeAnswersThere(asking, now);
}

void AskingPolls(const ServerAsking& asking, PollSet& set, Deadline now) {
  if (!asking.started || IsAskingOver(asking)) return;
  WakeBy(set, asking.deadline);
  if (asking.ipp == kIppWhatItIs || asking.ipp == kIppEachPrinter) {
    WantPoll(set, asking.http.fd, HttpEvents(asking.http));
    if (!asking.wants_addresses) WakeBy(set, HttpWakeTime(asking.http, now));
  }
  for (const ShareListing& listing : asking.smb) {
    if (!listing.over) WantPoll(set, listing.listing.pipe, POLLIN);
  }
}

void ContinueAsking(ServerAsking& asking, const PollSet& set, Deadline now,
                    std::size_t room) {
  if (!asking.started || IsAskingOver(asking)) return;
  // What each descriptor is ready for, read before any is closed or opened.
  const short http_ready = ReadyEvents(set, asking.http.fd);
  std::vector<short> smb_ready;
  for (const ShareListing& listing : asking.smb) {
    smb_ready.push_back(listing.over ? 0 : ReadyEvents(set, listing.listing.pipe));
  }
  if (now >= asking.deadline) {
    Stop(asking);
    return;
  }
  for (std::size_t i = 0; i < smb_ready.size(); ++i) {
    ShareListing& listing = asking.smb[i];
    if (!listing.over && smb_ready[i] != 0 && ReadListing(listing)) {
      EndListing(listing);
    }
  }
  if ((asking.ipp == kIppWhatItIs || asking.ipp == kIppEachPrinter) &&
      !asking.wants_addresses) {
    ContinueHttp(asking.http, http_ready, now, room);
    TakeAnswersThere(asking, now);
  }
}

bool IsAskingOver(const ServerAsking& asking) {
  if (asking.ipp == kIppWhatItIs || asking.ipp == kIppEachPrinter) return false;
  for (const ShareListing& listing : asking.smb) {
    if (!listing.over) return false;
  }
  return true;
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
  CloseHttp(asking.http);
  asking.wants_addresses = false;
  if (asking.ipp == kIppWhatItIs || asking.ipp == kIppEachPrinter) {
    asking.ipp = kIppOver;
  }
}

PrinterList TakePrinters(ServerAsking& asking) {
  Stop(asking);
  PrinterList printers = std::move(asking.printers);
  for (ShareListing& listing : asking.smb) {
    AppendPrinters(printers, std::move(listing.shares));
  }
  return printers;
}
