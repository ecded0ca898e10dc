// One HTTP request and its answer over a connection that is never waited
// on: a state the caller's poll loop moves along, many side by side. The
// connection may carry the next request when the answer leaves it open.
#ifndef QUELVARO_SPOOLER_NET_HTTP_EXCHANGE_H
#define QUELVARO_SPOOLER_NET_HTTP_EXCHANGE_H

#include <optional>
#include <string>
#include <vector>

#include "spooler/net/connect_socket.h"
#include "spooler/net/http_answer.h"
#include "spooler/net/tls_session.h"

// A POST of an IPP message, or of another kind of body (a SOAP envelope).
struct HttpRequest {
  std::string host;      // as the server was named, for the Host field
  int port = 0;
  std::string resource;  // "/", "/printers/x", ...
  std::string body;      // the IPP message (or SOAP envelope)
  bool last = false;     // no request follows on this connection
  bool tls = false;      // over TLS from the first byte
  bool may_upgrade = true;  // tried once more over TLS when the server asks
  std::string content_type = "application/ipp";  // the body's
};

enum HttpStage {
  kHttpIdle,        // nothing asked yet
  kHttpLookingUp,   // waits for the host's addresses (GiveHttpAddresses)
  kHttpConnecting,  // a connect to one of the addresses is under way
  kHttpHandshaking, // the TLS handshake is under way
  kHttpSending,
  kHttpReceiving,
  kHttpAnswered,    // the answer has come (answer.status says which)
  kHttpBroken,      // no answer: no connection, cut off, too slow, no HTTP
};

struct HttpExchange {
  int fd = -1;                         // the connection, while open
  HttpStage stage = kHttpIdle;
  std::vector<SocketAddress> addresses;  // the server's, tried in turn
  std::size_t next_address = 0;
  Deadline attempt_deadline = {};      // of the connect under way
  Deadline deadline = {};              // of the request, connect included
  HttpRequest request;
  std::string out;                     // the request's bytes, and how many
  std::size_t sent = 0;                // of them are sent
  HttpAnswer answer;
  bool reused = false;                 // sent over a kept connection
  TlsConnection tls{nullptr, &EndTls};  // the connection's TLS, if any
  short tls_wants = 0;                 // what the TLS session waits for
  bool upgraded = false;               // sent again over TLS when asked
  bool tls_failed = false;             // broken because TLS could not be
                                       // had there: no library, or a
                                       // handshake the server ended
};

// Starts request on the exchange at now, to be answered by the deadline:
// over the connection the last answer kept open when there is one, else over
// a new one to the exchange's addresses (the first that takes the
// connection, each given kConnectBound at most), over TLS when the request
// says so.
// Nothing is sent twice, except a request on a kept connection that the
// server closed unanswered, which is sent once more over a new connection,
// and a plain request the server answers "426 Upgrade Required" (or with
// an Upgrade field offering TLS instead of an answer), which is sent once
// more over TLS on a new connection to the same port, by the same deadline.
void BeginHttp(HttpExchange& exchange, HttpRequest request, Deadline deadline,
               Deadline now);

// The same for a host whose addresses are still to be looked up: the
// exchange waits for them, by the deadline.
void BeginHttpLookup(HttpExchange& exchange, HttpRequest request,
                     Deadline deadline);

// The addresses of a host an exchange waits for: it connects to them.
void GiveHttpAddresses(HttpExchange& exchange,
                       std::vector<SocketAddress> addresses, Deadline now);

// What to poll the connection for (0 when nothing), and the time by which
// ContinueHttp must be called whatever the connection does.
short HttpEvents(const HttpExchange& exchange);
Deadline HttpWakeTime(const HttpExchange& exchange, Deadline now);

// Moves the exchange on at now, after poll said revents of its connection
// (0 when only time has passed). Reads in pieces of kAnswerPieceBytes at
// most, kPiecesAtOnce of them, while its answer may grow by room bytes more
// (nothing is read without room: the caller makes some). Once answered, the
// connection stays open only when the answer leaves it open for another
// request (KeepsConnection).
void ContinueHttp(HttpExchange& exchange, short revents, Deadline now,
                  std::size_t room);

// Whether the request is over: answered or broken.
bool IsHttpOver(const HttpExchange& exchange);

// Closes the connection, if open; the exchange can begin a request anew.
void CloseHttp(HttpExchange& exchange);

// The bytes the exchange holds for its request and its answer: what its
// buffers have taken from the allocator, not only what they are filled
// with.
std::size_t HttpHeldBytes(const HttpExchange& exchange);

// Gives the exchange up: it is broken, as if the server had not answered in
// time, and what it held goes back to the allocator.
void AbandonHttp(HttpExchange& exchange);

// The body of a "200 OK" answer, when that is how the exchange ended; none
// otherwise. status (when given) gets the answer's HTTP status, 0 when no
// answer came at all.
std::optional<std::string> HttpBodyOf(HttpExchange& exchange,
                                      int* status = nullptr);

// The IPP message of a "200 OK" answer (HttpBodyOf).
std::optional<std::string> IppAnswerOf(HttpExchange& exchange,
                                       int* status = nullptr);

#endif  // QUELVARO_SPOOLER_NET_HTTP_EXCHANGE_H
