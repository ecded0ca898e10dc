// A build without a TLS library: no session is ever started, so a server
// that takes TLS only is listed with nothing beneath it.
#include "spooler/net/tls_session.h"

struct TlsSession {};

void LeaveTlsStartToStartTls() {}

void EndTls(TlsSession* session) { const std::unique_ptr<TlsSession> owned(session); }

TlsConnection StartTls(int, const std::string&) {
  return TlsConnection(nullptr, &EndTls);
}

TlsStep ContinueTlsHandshake(TlsSession&) { return kTlsFailed; }

TlsStep SendTls(TlsSession&, const char*, std::size_t, std::size_t& moved) {
  moved = 0;
  return kTlsFailed;
}

TlsStep ReceiveTls(TlsSession&, char*, std::size_t, std::size_t& moved) {
  moved = 0;
  return kTlsFailed;
}

short TlsEvents(const TlsSession&) { return 0; }

bool HasTlsPending(const TlsSession&) { return false; }
