// The view: one request for everything any answer needs, kept for the run.
#include "spooler/cups/queue_view.h"

#include "spooler/cups/cups_server.h"
#include "spooler/ipp/http_exchange.h"
#include "spooler/ipp/ipp_message.h"
#include "spooler/ipp/ipp_printers.h"

namespace {

std::optional<PrinterList> AskQueues() {
  const std::optional<std::string> answer = PostIpp(
      CupsServerHost(), CupsServerPort(), "/",
      IppRequest(kIppCupsGetPrinters, "", CupsUser(), PrinterAttributeNames()),
      std::chrono::steady_clock::now() + kServerBound);
  if (!answer) return std::nullopt;
  return PrintersInAnswer(*answer);
}

}  // namespace

const std::optional<PrinterList>& CupsQueueView() {
  // State the spooler keeps for the run: asked for at the first answer that
  // needs the server, kept until the process ends.
  static const std::optional<PrinterList> view = AskQueues();
  return view;
}
