// Talking to the CUPS server: connect, send one request, read one answer,
// each step bounded in time.
#include "spooler/cups/cups_exchange.h"

namespace {

// How long a connection may take to open, and how long the server may stay
// silent while the request is written or the answer read. A local server
// answers in milliseconds; these only bound a run against one that does not.
const int kConnectMilliseconds = 3000;
const double kAnswerSeconds = 5.0;

// State the CUPS spooler keeps from one EnumPrintersW call to the next (the
// other piece is the run's view of the queues, queue_view.cc). A server that
// could not be reached or did not answer is taken to be gone for the rest of
// the process, so any later question is answered with nothing at once
// instead of waiting out its own timeout. It only ever goes from false to
// true.
bool server_failed = false;

IppMessage NoAnswer() { return IppMessage(nullptr, &ippDelete); }

IppMessage Failed() {
  server_failed = true;
  return NoAnswer();
}

}  // namespace

IppMessage AskCupsServer(ipp_t* request) {
  if (server_failed) return NoAnswer();

  std::unique_ptr<http_t, decltype(&httpClose)> http(
      httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC,
                   cupsEncryption(), 1, kConnectMilliseconds, nullptr),
      &httpClose);
  // From here on libcups ignores SIGPIPE (it does so when it sets up its
  // HTTP layer), so a server that drops the connection while the request is
  // being written shows as a failed write, not as the end of the process.
  if (!http) return Failed();
  // No callback: a wait that times out ends the exchange.
  httpSetTimeout(http.get(), kAnswerSeconds, nullptr, nullptr);

  // The request, written by hand rather than through cupsDoRequest, so that
  // nothing is ever sent a second time (cupsDoRequest retries after an
  // authentication challenge or a lost connection).
  httpClearFields(http.get());
  httpSetField(http.get(), HTTP_FIELD_CONTENT_TYPE, "application/ipp");
  httpSetLength(http.get(), ippLength(request));
  if (httpPost(http.get(), "/") != 0) return Failed();
  ippSetState(request, IPP_STATE_IDLE);
  for (;;) {
    const ipp_state_t state = ippWrite(http.get(), request);
    if (state == IPP_STATE_DATA) break;
    if (state == IPP_STATE_ERROR) return Failed();
  }

  http_status_t status;
  do {
    status = httpUpdate(http.get());
  } while (status == HTTP_STATUS_CONTINUE);
  if (status == HTTP_STATUS_ERROR) return Failed();
  // The server answered, but not with printers (a refusal, a challenge):
  // nothing for this question, and the next one may still be asked.
  if (status != HTTP_STATUS_OK) return NoAnswer();

  IppMessage response(ippNew(), &ippDelete);
  for (;;) {
    const ipp_state_t state = ippRead(http.get(), response.get());
    if (state == IPP_STATE_DATA) break;
    if (state == IPP_STATE_ERROR) return Failed();
  }
  return response;
}
