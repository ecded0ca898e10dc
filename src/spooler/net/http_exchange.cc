// The HTTP side of an IPP exchange (or of a SOAP one), written and read by
// hand so that every wait is the caller's poll, bounded by the exchange's
// deadline, and every answer is taken whole before any of it is used.
#include "spooler/net/http_exchange.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "spooler/net/host_text.h"
#include "spooler/run_limits.h"

namespace {

// The request's head. A server reached over loopback is told it is
// "localhost", whatever name it was reached by: a CUPS server takes no
// other name from a loopback peer (a guard against DNS rebinding).
std::string RequestHead(const HttpRequest& request, bool local) {
  const std::string& host = request.host;
  std::string authority = "localhost";
  if (local && host[0] != '/') {
    authority += ":" + std::to_string(request.port);
  } else if (!local) {
    authority = Bracketed(host) + ":" + std::to_string(request.port);
  }
  return "POST " + request.resource + " HTTP/1.1\r\n" +
         "Host: " + authority + "\r\n" +
         "Content-Type: " + request.content_type + "\r\n" +
         "Content-Length: " + std::to_string(request.body.size()) + "\r\n" +
         (request.last ? "Connection: close\r\n" : "") + "\r\n";
}

// Whether the answer asks for the request again over TLS.
bool AsksForTls(const HttpExchange& exchange) {
  const HttpAnswer& answer = exchange.answer;
  return !exchange.request.tls && exchange.request.may_upgrade &&
         !exchange.upgraded &&
         (answer.status == 426 ||
          (answer.status != 200 && answer.upgrade.find("tls/") != std::string::npos));
}

// How many characters a string keeps inside itself, without the allocator.
const std::size_t kCharactersInside = std::string().capacity();

// The bytes a string has taken from the allocator: its capacity, unless it
// keeps its few characters inside itself.
std::size_t HeapBytes(const std::string& text) {
  return text.capacity() > kCharactersInside ? text.capacity() : 0;
}

// The answer's buffers back to the allocator. (Assigning an empty answer
// would not do it: a string moved from one that holds its few bytes itself
// keeps the buffer it had.)
void ReleaseAnswer(HttpAnswer& answer) {
  std::string().swap(answer.data);
  std::string().swap(answer.body);
  answer = HttpAnswer();
}

void Break(HttpExchange& exchange) {
  CloseHttp(exchange);
  exchange.stage = kHttpBroken;
}

// The request, on the connection just made or kept.
void StartSending(HttpExchange& exchange) {
  exchange.out = RequestHead(exchange.request, IsLocalPeer(exchange.fd)) +
                 exchange.request.body;
  exchange.sent = 0;
  ReleaseAnswer(exchange.answer);
  exchange.stage = kHttpSending;
  exchange.tls_wants = POLLOUT;
}

// The TLS handshake, begun on the connection just made and moved on; the
// request is sent once it is over.
void Handshake(HttpExchange& exchange) {
  switch (ContinueTlsHandshake(*exchange.tls)) {
    case kTlsDone:
      StartSending(exchange);
      return;
    case kTlsWaits:
      exchange.tls_wants = TlsEvents(*exchange.tls);
      return;
    default:
      exchange.tls_failed = true;
      Break(exchange);
      return;
  }
}

void Connected(HttpExchange& exchange) {
  if (!exchange.request.tls) {
    StartSending(exchange);
    return;
  }
  exchange.tls = StartTls(exchange.fd, exchange.request.host);
  if (!exchange.tls) {
    exchange.tls_failed = true;
    Break(exchange);
    return;
  }
  exchange.stage = kHttpHandshaking;
  Handshake(exchange);
}

// A connect to the next address that can begin one; broken when none is
// left.
void ConnectNext(HttpExchange& exchange, Deadline now) {
  CloseHttp(exchange);
  while (exchange.next_address < exchange.addresses.size()) {
    const SocketAddress& address = exchange.addresses[exchange.next_address++];
    exchange.fd = StartConnect(address);
    if (exchange.fd < 0) continue;
    exchange.attempt_deadline = std::min(exchange.deadline, now + kConnectBound);
    exchange.stage = kHttpConnecting;
    return;
  }
  exchange.stage = kHttpBroken;
}

void Send(HttpExchange& exchange) {
  while (exchange.tls && exchange.sent < exchange.out.size()) {
    std::size_t moved = 0;
    const TlsStep step =
        SendTls(*exchange.tls, exchange.out.data() + exchange.sent,
                exchange.out.size() - exchange.sent, moved);
    if (step == kTlsWaits) {
      exchange.tls_wants = TlsEvents(*exchange.tls);
      return;
    }
    // Each turn moves bytes, or the exchange ends: this loop ends.
    if (step != kTlsDone || moved == 0) break;
    exchange.sent += moved;
  }
  while (!exchange.tls && exchange.sent < exchange.out.size()) {
    // MSG_NOSIGNAL: a server that has gone makes a failed send, not SIGPIPE.
    const ssize_t sent =
        send(exchange.fd, exchange.out.data() + exchange.sent,
             exchange.out.size() - exchange.sent, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
      break;
    }
    if (sent == 0) break;
    exchange.sent += static_cast<std::size_t>(sent);
  }
  if (exchange.sent < exchange.out.size()) {
    Break(exchange);
    return;
  }
  std::string().swap(exchange.out);
  exchange.stage = kHttpReceiving;
  exchange.tls_wants = POLLIN;
}

// Reads a piece of size bytes at most into into: its size, 0 when the
// server closed, -1 when the connection has nothing now, -2 when it failed.
long ReceivePiece(HttpExchange& exchange, char* into, std::size_t size) {
  if (exchange.tls) {
    std::size_t moved = 0;
    switch (ReceiveTls(*exchange.tls, into, size, moved)) {
      case kTlsDone:
        return static_cast<long>(moved);
      case kTlsWaits:
        exchange.tls_wants = TlsEvents(*exchange.tls);
        return -1;
      case kTlsClosed:
        return 0;
      default:
        return -2;
    }
  }
  for (;;) {
    const ssize_t got = recv(exchange.fd, into, size, 0);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
  }
}

// A kept connection the server closed before it answered anything: the
// request is sent once more, over a new connection.
bool RetryAfterClose(HttpExchange& exchange, Deadline now) {
  if (!exchange.reused || !exchange.answer.data.empty() ||
      exchange.answer.head_read) {
    return false;
  }
  exchange.reused = false;
  exchange.next_address = 0;
  ConnectNext(exchange, now);
  return true;
}

// Reads what the connection has, room bytes at most, onto the answer: each
// piece into a buffer of the loop's stack first, so that the answer holds
// what came and no more.
void Receive(HttpExchange& exchange, Deadline now, std::size_t room) {
  HttpAnswer& answer = exchange.answer;
  bool closed = false;
  char piece[kAnswerPieceBytes];
  for (int pieces = 0; pieces < kPiecesAtOnce && !closed && room > 0; ++pieces) {
    const long got =
        ReceivePiece(exchange, piece, std::min(room, sizeof piece));
    if (got == -1) break;
    if (got == -2) {
      if (RetryAfterClose(exchange, now)) return;
      Break(exchange);
      return;
    }
    if (got == 0) closed = true;
    answer.data.append(piece, static_cast<std::size_t>(got));
    room -= std::min(room, static_cast<std::size_t>(got));
  }
  if (closed && RetryAfterClose(exchange, now)) return;
  switch (ReadHttpAnswer(answer, closed)) {
    case kHttpMore:
      if (closed) Break(exchange);
      return;
    case kHttpFailed:
      // The status of a head that came stays known.
      Break(exchange);
      return;
    case kHttpDone:
      if (AsksForTls(exchange)) {
        exchange.upgraded = true;
        exchange.request.tls = true;
        exchange.reused = false;
        exchange.next_address = 0;
        ConnectNext(exchange, now);
        return;
      }
      exchange.stage = kHttpAnswered;
      if (!KeepsConnection(answer) || exchange.request.last) {
        CloseHttp(exchange);
      }
      return;
  }
}

// The exchange takes up a new request, by the deadline: nothing of the
// last one's is left but the connection it kept (when kept).
void TakeRequest(HttpExchange& exchange, HttpRequest request,
                 Deadline deadline, bool kept) {
  if (!kept) CloseHttp(exchange);
  exchange.request = std::move(request);
  exchange.deadline = deadline;
  exchange.reused = kept;
  exchange.upgraded = false;
  exchange.tls_failed = false;
  ReleaseAnswer(exchange.answer);
}

}  // namespace

void BeginHttp(HttpExchange& exchange, HttpRequest request, Deadline deadline,
               Deadline now) {
  const bool kept = exchange.fd >= 0 && exchange.stage == kHttpAnswered &&
                    static_cast<bool>(exchange.tls) == request.tls;
  TakeRequest(exchange, std::move(request), deadline, kept);
  if (kept) {
    StartSending(exchange);
    return;
  }
  exchange.next_address = 0;
  ConnectNext(exchange, now);
}

void BeginHttpLookup(HttpExchange& exchange, HttpRequest request,
                     Deadline deadline) {
  TakeRequest(exchange, std::move(request), deadline, false);
  exchange.addresses.clear();
  exchange.stage = kHttpLookingUp;
}

void GiveHttpAddresses(HttpExchange& exchange,
                       std::vector<SocketAddress> addresses, Deadline now) {
  if (exchange.stage != kHttpLookingUp) return;
  exchange.addresses = std::move(addresses);
  exchange.next_address = 0;
  if (now >= exchange.deadline) {
    exchange.stage = kHttpBroken;
    return;
  }
  ConnectNext(exchange, now);
}

short HttpEvents(const HttpExchange& exchange) {
  switch (exchange.stage) {
    case kHttpConnecting:
      return POLLOUT;
    case kHttpHandshaking:
      return exchange.tls_wants;
    case kHttpSending:
      return exchange.tls ? exchange.tls_wants : POLLOUT;
    case kHttpReceiving:
      return exchange.tls ? exchange.tls_wants : POLLIN;
    default:
      return 0;
  }
}

Deadline HttpWakeTime(const HttpExchange& exchange, Deadline now) {
  if (exchange.stage == kHttpConnecting) {
    return std::min(exchange.attempt_deadline, exchange.deadline);
  }
  // Bytes the TLS session has decrypted already are read without waiting.
  if (exchange.stage == kHttpReceiving && exchange.tls &&
      HasTlsPending(*exchange.tls)) {
    return now;
  }
  return exchange.deadline;
}

void ContinueHttp(HttpExchange& exchange, short revents, Deadline now,
                  std::size_t room) {
  if (IsHttpOver(exchange) || exchange.stage == kHttpIdle) return;
  if (now >= exchange.deadline) {
    Break(exchange);
    return;
  }
  switch (exchange.stage) {
    case kHttpConnecting:
      if (revents != 0) {
        if (ConnectSucceeded(exchange.fd)) {
          Connected(exchange);
          if (exchange.stage == kHttpSending) Send(exchange);
        } else {
          ConnectNext(exchange, now);
        }
      } else if (now >= exchange.attempt_deadline) {
        ConnectNext(exchange, now);
      }
      return;
    case kHttpHandshaking:
      if (revents != 0) Handshake(exchange);
      if (exchange.stage == kHttpSending) Send(exchange);
      return;
    case kHttpSending:
      if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        if (!RetryAfterClose(exchange, now)) Break(exchange);
        return;
      }
      if (revents != 0) Send(exchange);
      return;
    case kHttpReceiving:
      if (revents != 0 || (exchange.tls && HasTlsPending(*exchange.tls))) {
        Receive(exchange, now, room);
      }
      return;
    default:
      return;
  }
}

bool IsHttpOver(const HttpExchange& exchange) {
  return exchange.stage == kHttpAnswered || exchange.stage == kHttpBroken;
}

void CloseHttp(HttpExchange& exchange) {
  exchange.tls.reset();
  if (exchange.fd >= 0) close(exchange.fd);
  exchange.fd = -1;
}

std::size_t HttpHeldBytes(const HttpExchange& exchange) {
  return HeapBytes(exchange.out) + HeapBytes(exchange.answer.data) +
         HeapBytes(exchange.answer.body);
}

void AbandonHttp(HttpExchange& exchange) {
  if (!IsHttpOver(exchange)) Break(exchange);
  std::string().swap(exchange.out);
  ReleaseAnswer(exchange.answer);
}

std::optional<std::string> HttpBodyOf(HttpExchange& exchange, int* status) {
  if (status != nullptr) *status = exchange.answer.status;
  if (exchange.stage != kHttpAnswered || exchange.answer.status != 200) {
    return std::nullopt;
  }
  return TakeHttpBody(exchange.answer);
}

std::optional<std::string> IppAnswerOf(HttpExchange& exchange, int* status) {
  return HttpBodyOf(exchange, status);
}
