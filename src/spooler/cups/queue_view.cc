// The view's request.
#include "spooler/cups/queue_view.h"

#include "spooler/ipp/ipp_message.h"
#include "spooler/ipp/ipp_printers.h"

std::string QueueViewRequest(const std::string& user) {
  return IppRequest(kIppCupsGetPrinters, "", user, PrinterAttributeNames());
}
