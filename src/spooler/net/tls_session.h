// TLS on a connection the caller's poll loop drives: a client session of
// GnuTLS over a connected non-blocking socket, the library loaded at the
// first session a run needs (a run that meets no TLS server never loads
// it). Names are all the report reads and nothing secret is sent, so the
// server's certificate is not verified: a self-signed or expired one (most
// printers have one) does not stop it. TLS 1.2 and 1.3 only.
#ifndef QUELVARO_SPOOLER_NET_TLS_SESSION_H
#define QUELVARO_SPOOLER_NET_TLS_SESSION_H

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

struct TlsSession;
void EndTls(TlsSession* session);
using TlsConnection = std::unique_ptr<TlsSession, decltype(&EndTls)>;

// How a step of the session went.
enum TlsStep {
  kTlsDone,    // the handshake is over; or bytes were moved
  kTlsWaits,   // the socket must be ready first (TlsEvents says for what)
  kTlsClosed,  // the server ended the session (no more bytes)
  kTlsFailed,  // a fatal error, a renegotiation asked for, no TLS here
};

// Has GnuTLS, once loaded, leave its start to the first StartTls, which
// says when it fails: left to start itself as it is loaded, it says so on
// standard error (as under a tight limit on address space). It sets an
// environment variable, so to be called while the program has one thread
// (and after forking what is to keep GnuTLS's own start, the SMB
// listings' starter).
void LeaveTlsStartToStartTls();

// A client session on fd, with host (a name, not an address) sent for SNI;
// null when there is no TLS library (the build has none, or GnuTLS is not
// installed) or it refuses to start one. Loads and starts GnuTLS the first
// time, and throws RunFailure (run_failure.h) when it is installed but
// cannot be loaded or started. The socket stays the caller's.
TlsConnection StartTls(int fd, const std::string& host);

// Goes on with the handshake.
TlsStep ContinueTlsHandshake(TlsSession& session);

// Sends from bytes (size of them); moved gets how many went. After
// kTlsWaits, the same bytes must be given again.
TlsStep SendTls(TlsSession& session, const char* bytes, std::size_t size,
                std::size_t& moved);

// Receives into bytes (size of them at most); moved gets how many came.
TlsStep ReceiveTls(TlsSession& session, char* bytes, std::size_t size,
                   std::size_t& moved);

// What the socket must be ready for after kTlsWaits (POLLIN or POLLOUT),
// and whether decrypted bytes wait in the session, to be received without
// the socket's being ready.
short TlsEvents(const TlsSession& session);
bool HasTlsPending(const TlsSession& session);

#endif  // QUELVARO_SPOOLER_NET_TLS_SESSION_H
