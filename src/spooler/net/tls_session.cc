// GnuTLS, loaded with dlopen where a run first needs it: linked, its
// libraries would cost every run of the program some milliseconds before
// its first line, TLS or none.
#include "spooler/net/tls_session.h"

#include <gnutls/gnutls.h>
#include <poll.h>

#include <cstdlib>

#include "spooler/net/connect_socket.h"
#include "spooler/run_limits.h"
#include "spooler/shared_library.h"

struct TlsSession {
  gnutls_session_t session = nullptr;
  gnutls_certificate_credentials_t credentials = nullptr;
};

namespace {

const char kLibrary[] = "libgnutls.so.30";

// TLS 1.2 and 1.3, with the library's usual ciphers: what its defaults
// refuse (SSL 3.0, TLS 1.0 and 1.1) stays refused.
const char kPriorities[] = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

// The functions used, with the types the header gives them.
struct Gnutls {
  decltype(&gnutls_init) init;
  decltype(&gnutls_deinit) deinit;
  decltype(&gnutls_priority_set_direct) priority_set_direct;
  decltype(&gnutls_certificate_allocate_credentials) allocate_credentials;
  decltype(&gnutls_certificate_free_credentials) free_credentials;
  decltype(&gnutls_credentials_set) credentials_set;
  decltype(&gnutls_server_name_set) server_name_set;
  decltype(&gnutls_transport_set_int2) transport_set_int2;
  decltype(&gnutls_handshake) handshake;
  decltype(&gnutls_record_send) record_send;
  decltype(&gnutls_record_recv) record_recv;
  decltype(&gnutls_record_get_direction) record_get_direction;
  decltype(&gnutls_record_check_pending) record_check_pending;
  decltype(&gnutls_error_is_fatal) error_is_fatal;
  decltype(&gnutls_global_init) global_init;
  decltype(&gnutls_strerror) strerror;
};

// The library's functions, and its start (LeaveTlsStartToStartTls), which
// takes memory: one that fails leaves every session to fail, and is a
// failure to run.
bool FindAll(void* library, Gnutls& f) {
  const bool found =
      FindSymbol(library, "gnutls_init", f.init) &&
      FindSymbol(library, "gnutls_deinit", f.deinit) &&
      FindSymbol(library, "gnutls_priority_set_direct",
                 f.priority_set_direct) &&
      FindSymbol(library, "gnutls_certificate_allocate_credentials",
                 f.allocate_credentials) &&
      FindSymbol(library, "gnutls_certificate_free_credentials",
                 f.free_credentials) &&
      FindSymbol(library, "gnutls_credentials_set", f.credentials_set) &&
      FindSymbol(library, "gnutls_server_name_set", f.server_name_set) &&
      FindSymbol(library, "gnutls_transport_set_int2", f.transport_set_int2) &&
      FindSymbol(library, "gnutls_handshake", f.handshake) &&
      FindSymbol(library, "gnutls_record_send", f.record_send) &&
      FindSymbol(library, "gnutls_record_recv", f.record_recv) &&
      FindSymbol(library, "gnutls_record_get_direction",
                 f.record_get_direction) &&
      FindSymbol(library, "gnutls_record_check_pending",
                 f.record_check_pending) &&
      FindSymbol(library, "gnutls_error_is_fatal", f.error_is_fatal) &&
      FindSymbol(library, "gnutls_global_init", f.global_init) &&
      FindSymbol(library, "gnutls_strerror", f.strerror);
  if (!found) return false;
  const int started = f.global_init();
  if (started < 0) {
    throw MakeRunFailure("GnuTLS cannot start", f.strerror(started));
  }
  return true;
}

// The library's functions; null when it is not installed, or lacks one of
// them. Throws RunFailure when it is installed but cannot be loaded or
// started.
const Gnutls* LoadGnutlsOnce() {
  return LoadFunctionsOnce<Gnutls>(kLibrary, &FindAll);
}

// What a result of the library's that is not a success means for the step.
TlsStep StepOf(int result) {
  if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED) {
    return kTlsWaits;
  }
  return kTlsFailed;
}

}  // namespace

void LeaveTlsStartToStartTls() {
  // GnuTLS reads it as its library is loaded (GNUTLS_NO_IMPLICIT_INIT=1:
  // no start of its own); gnutls_global_init starts it then.
  setenv("GNUTLS_NO_IMPLICIT_INIT", "1", 1);
}

void EndTls(TlsSession* session) {
  const std::unique_ptr<TlsSession> owned(session);
  const Gnutls* f = LoadGnutlsOnce();
  if (session == nullptr || f == nullptr) return;
  if (session->session != nullptr) f->deinit(session->session);
  if (session->credentials != nullptr)
    f->free_credentials(session->credentials);
}

TlsConnection StartTls(int fd, const std::string& host) {
  TlsConnection none(nullptr, &EndTls);
  const Gnutls* f = LoadGnutlsOnce();
  if (f == nullptr) return none;
  TlsConnection tls(new TlsSession, &EndTls);
  if (f->init(&tls->session, GNUTLS_CLIENT | GNUTLS_NONBLOCK) < 0) {
    tls->session = nullptr;
    return none;
  }
  if (f->allocate_credentials(&tls->credentials) < 0) {
    tls->credentials = nullptr;
    return none;
  }
  if (f->priority_set_direct(tls->session, kPriorities, nullptr) < 0 ||
      f->credentials_set(tls->session, GNUTLS_CRD_CERTIFICATE,
                         tls->credentials) < 0) {
    return none;
  }
  // SNI names a host: never an address (an IPv6 one with its zone too) or
  // a socket's path.
  if (!host.empty() && !NumericAddresses(host, 0) &&
      f->server_name_set(tls->session, GNUTLS_NAME_DNS, host.data(),
                         host.size()) < 0) {
    return none;
  }
  f->transport_set_int2(tls->session, fd, fd);
  return tls;
}

TlsStep ContinueTlsHandshake(TlsSession& session) {
  const Gnutls& f = *LoadGnutlsOnce();
  for (int retry = 0; retry < kMostTlsRetries; ++retry) {
    const int result = f.handshake(session.session);
    if (result == GNUTLS_E_SUCCESS) return kTlsDone;
    if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED ||
        f.error_is_fatal(result)) {
      return StepOf(result);
    }
  }
  return kTlsFailed;
}

TlsStep SendTls(TlsSession& session, const char* bytes, std::size_t size,
                std::size_t& moved) {
  const Gnutls& f = *LoadGnutlsOnce();
  moved = 0;
  const ssize_t sent = f.record_send(session.session, bytes, size);
  if (sent >= 0) {
    moved = static_cast<std::size_t>(sent);
    return kTlsDone;
  }
  return StepOf(static_cast<int>(sent));
}

TlsStep ReceiveTls(TlsSession& session, char* bytes, std::size_t size,
                   std::size_t& moved) {
  const Gnutls& f = *LoadGnutlsOnce();
  moved = 0;
  for (int retry = 0; retry < kMostTlsRetries; ++retry) {
    const ssize_t got = f.record_recv(session.session, bytes, size);
    if (got > 0) {
      moved = static_cast<std::size_t>(got);
      return kTlsDone;
    }
    // A server that closes without saying so ends the session as well.
    if (got == 0 || got == GNUTLS_E_PREMATURE_TERMINATION) return kTlsClosed;
    // A renegotiation is never taken up: the answer is given up.
    if (got == GNUTLS_E_REHANDSHAKE) return kTlsFailed;
    const int result = static_cast<int>(got);
    if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED ||
        f.error_is_fatal(result)) {
      return StepOf(result);
    }
  }
  return kTlsFailed;
}

short TlsEvents(const TlsSession& session) {
  return LoadGnutlsOnce()->record_get_direction(session.session) == 1 ? POLLOUT
                                                                      : POLLIN;
}

bool HasTlsPending(const TlsSession& session) {
  return LoadGnutlsOnce()->record_check_pending(session.session) > 0;
}
