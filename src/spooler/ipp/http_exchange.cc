// The HTTP side of an IPP exchange, written and read by hand so that every
// wait has the exchange's deadline and every answer is taken whole before
// any of it is used.
#include "spooler/ipp/http_exchange.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace {

// The most bytes of head an answer may have, "100 Continue" heads included
// one at a time; and how much is asked of the socket at once.
const std::size_t kMostHeadBytes = 64u << 10;
const std::size_t kPieceBytes = 64u << 10;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

// A decimal number of at most 18 digits and nothing else; none otherwise.
std::optional<std::size_t> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

// Whether the socket's peer is on this machine: a local socket, or a
// loopback address.
bool IsLocalPeer(int fd) {
  sockaddr_storage peer = {};
  socklen_t size = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
    return false;
  }
  if (peer.ss_family == AF_UNIX) return true;
  if (peer.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
    return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
  }
  if (peer.ss_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) ||
           (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
  }
  return false;
}

// The request's head. A server reached over loopback is told it is
// "localhost", whatever name it was reached by: a CUPS server takes no
// other name from a loopback peer (a guard against DNS rebinding).
std::string RequestHead(const std::string& host, int port, bool local,
                        const std::string& resource, std::size_t length) {
  std::string authority = "localhost";
  if (local && host[0] != '/') {
    authority += ":" + std::to_string(port);
  } else if (!local) {
    const bool bare_ipv6 = host.find(':') != std::string::npos &&
                           host.front() != '[';
    authority = (bare_ipv6 ? "[" + host + "]" : host) + ":" +
                std::to_string(port);
  }
  return "POST " + resource + " HTTP/1.1\r\n" +
         "Host: " + authority + "\r\n" +
         "Content-Type: application/ipp\r\n" +
         "Content-Length: " + std::to_string(length) + "\r\n" +
         "Connection: close\r\n\r\n";
}

bool SendAll(int fd, std::string_view bytes, Deadline deadline) {
  while (!bytes.empty()) {
    pollfd waiting = {fd, POLLOUT, 0};
    if (poll(&waiting, 1, MillisecondsLeft(deadline)) != 1) return false;
    // MSG_NOSIGNAL: a server that has gone makes a failed send, not SIGPIPE.
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Appends what the socket has to data, waiting for it until the deadline.
// 1 when bytes came, 0 when the server closed the connection, -1 when the
// deadline passed or the connection failed.
int ReceiveMore(int fd, std::string& data, Deadline deadline) {
  for (;;) {
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    pollfd waiting = {fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready != 1) return -1;
    const std::size_t before = data.size();
    data.resize(before + kPieceBytes);
    const ssize_t got = recv(fd, &data[before], kPieceBytes, 0);
    data.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
    if (got > 0) return 1;
    if (got == 0) return 0;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
  }
}

// Reads an answer's head (status line and header fields, without the empty
// line that ends it): its status, and how its body is framed. False for a
// head that is not HTTP, or a body in an encoding that was not asked for.
bool ReadHead(std::string_view head, int& status,
              std::optional<std::size_t>& length, bool& chunked) {
  std::size_t end = head.find("\r\n");
  const std::string_view status_line = head.substr(0, end);
  if (status_line.size() < 12 || status_line.substr(0, 7) != "HTTP/1." ||
      status_line[8] != ' ') {
    return false;
  }
  const std::optional<std::size_t> code = Decimal(status_line.substr(9, 3));
  if (!code) return false;
  status = static_cast<int>(*code);
  std::optional<std::size_t> content_length;
  chunked = false;
  while (end != std::string_view::npos) {
    const std::size_t start = end + 2;
    end = head.find("\r\n", start);
    const std::string_view line = head.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string name = Lower(Trimmed(line.substr(0, colon)));
    const std::string value = Lower(Trimmed(line.substr(colon + 1)));
    if (name == "content-length") {
      const std::optional<std::size_t> given = Decimal(value);
      if (!given || (content_length && *content_length != *given)) {
        return false;
      }
      content_length = given;
    } else if (name == "transfer-encoding") {
      if (value == "chunked") {
        chunked = true;
      } else if (value != "identity") {
        return false;
      }
    } else if (name == "content-encoding") {
      if (value != "identity") return false;
    }
  }
  length = content_length;
  return true;
}

// Decodes the chunks of a chunked body that have come, from data[at] on,
// onto the end of body, moving at past each whole chunk. 1 once the last
// chunk and the trailer have come, 0 while more is to come, -1 for bytes
// that are not chunks.
int DecodeChunks(std::string_view data, std::size_t& at, std::string& body) {
  for (;;) {
    const std::size_t line_end = data.find("\r\n", at);
    if (line_end == std::string_view::npos) {
      return data.size() - at > 1024 ? -1 : 0;
    }
    std::string_view size_text = data.substr(at, line_end - at);
    size_text = Trimmed(size_text.substr(0, size_text.find(';')));
    if (size_text.empty() || size_text.size() > 8) return -1;
    std::size_t size = 0;
    for (char c : size_text) {
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return -1;
      size = size * 16 + static_cast<std::size_t>(digit);
    }
    if (size > kMostAnswerBytes) return -1;
    const std::size_t data_start = line_end + 2;
    if (size == 0) {
      // The last chunk: what follows is a trailer, ended by an empty line.
      if (data.compare(data_start, 2, "\r\n") == 0) return 1;
      const std::size_t trailer_end = data.find("\r\n\r\n", data_start);
      if (trailer_end != std::string_view::npos) return 1;
      return data.size() - data_start > kMostHeadBytes ? -1 : 0;
    }
    if (data.size() - data_start < size + 2) return 0;
    if (data.compare(data_start + size, 2, "\r\n") != 0) return -1;
    body.append(data.substr(data_start, size));
    if (body.size() > kMostAnswerBytes) return -1;
    at = data_start + size + 2;
  }
}

std::optional<std::string> Exchange(int fd, const std::string& host, int port,
                                    const std::string& resource,
                                    const std::string& request,
                                    Deadline deadline, int& status) {
  if (!SendAll(fd,
               RequestHead(host, port, IsLocalPeer(fd), resource,
                           request.size()),
               deadline) ||
      !SendAll(fd, request, deadline)) {
    return std::nullopt;
  }

  // The head, after any number of informational ("1xx") ones.
  std::string data;
  std::optional<std::size_t> length;
  bool chunked = false;
  for (;;) {
    const std::size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (data.size() > kMostHeadBytes) return std::nullopt;
      if (ReceiveMore(fd, data, deadline) != 1) return std::nullopt;
      continue;
    }
    if (!ReadHead(std::string_view(data).substr(0, end), status, length,
                  chunked)) {
      return std::nullopt;
    }
    data.erase(0, end + 4);
    if (status < 100 || status >= 200) break;
  }
  if (status != 200) return std::nullopt;

  if (chunked) {
    std::string body;
    std::size_t at = 0;
    for (;;) {
      const int done = DecodeChunks(data, at, body);
      if (done < 0) return std::nullopt;
      if (done > 0) return body;
      if (at > kPieceBytes) {  // what is decoded need not be kept twice
        data.erase(0, at);
        at = 0;
      }
      if (ReceiveMore(fd, data, deadline) != 1) return std::nullopt;
    }
  }
  if (length) {
    if (*length > kMostAnswerBytes) return std::nullopt;
    // One block of the size announced, rather than one that doubles.
    data.reserve(*length + kPieceBytes);
    while (data.size() < *length) {
      if (ReceiveMore(fd, data, deadline) != 1) return std::nullopt;
    }
    data.resize(*length);
    return data;
  }
  // Neither: the body ends when the server closes the connection.
  for (;;) {
    if (data.size() > kMostAnswerBytes) return std::nullopt;
    const int got = ReceiveMore(fd, data, deadline);
    if (got == 0) return data;
    if (got < 0) return std::nullopt;
  }
}

}  // namespace

std::optional<std::string> PostIpp(const std::string& host, int port,
                                   const std::string& resource,
                                   const std::string& request,
                                   Deadline deadline, int* status) {
  int answered = 0;
  std::optional<std::string> answer;
  const int fd = ConnectSocket(host, port, deadline);
  if (fd >= 0) {
    answer = Exchange(fd, host, port, resource, request, deadline, answered);
    close(fd);
  }
  if (status != nullptr) *status = answered;
  return answer;
}
