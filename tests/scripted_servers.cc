#include "scripted_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "ipp_bytes.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Connection {
  int fd;
  std::size_t host;
  std::string in;
  std::string out;
  Clock::time_point answer_at;
  bool answering = false;
  std::size_t flood_left = 0;
};

std::string Http(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string PrinterAnswer(const ScriptedHost& host) {
  IppMessage answer = IppAnswer(IPP_STATUS_OK);
  ippAddString(answer.get(), IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name",
               nullptr, host.name.c_str());
  return Http(IppBytes(answer.get()));
}

std::string NotSupported() {
  IppMessage answer = IppAnswer(IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED);
  return Http(IppBytes(answer.get()));
}

// A CUPS server's queues: a remote one for each device URI.
std::string QueuesAnswer(const ScriptedHost& host) {
  IppMessage answer = IppAnswer(IPP_STATUS_OK);
  int n = 0;
  for (const std::string& uri : host.queues) {
    if (n++ > 0) ippAddSeparator(answer.get());
    const std::string name = "Queue-" + std::to_string(n);
    ippAddString(answer.get(), IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name",
                 nullptr, name.c_str());
    ippAddString(answer.get(), IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri",
                 nullptr, uri.c_str());
    ippAddInteger(answer.get(), IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-type",
                  0x2);
  }
  return Http(IppBytes(answer.get()));
}

// The operation of the whole request at the start of in, which it takes
// off (its head into head); -1 while the request is not whole.
int TakeRequest(std::string& in, std::string& head) {
  const std::size_t head_end = in.find("\r\n\r\n");
  if (head_end == std::string::npos) return -1;
  head = in.substr(0, head_end);
  std::size_t length = 0;
  const std::size_t field = in.find("Content-Length: ");
  if (field != std::string::npos && field < head_end) {
    length = std::stoul(in.substr(field + 16));
  }
  if (in.size() < head_end + 4 + length) return -1;
  const std::string body = in.substr(head_end + 4, length);
  in.erase(0, head_end + 4 + length);
  if (body.size() < 4) return 0;
  return (static_cast<unsigned char>(body[2]) << 8) |
         static_cast<unsigned char>(body[3]);
}

void Close(ScriptedServers& servers, Connection& connection) {
  close(connection.fd);
  connection.fd = -1;
  --servers.open;
}

// A SOAP host's answer to a request with this head: its body, with the
// request's path for each "%PATH%"; 415 to a request that is no SOAP.
std::string SoapAnswer(const ScriptedHost& host, const std::string& head) {
  if (head.find("\r\nContent-Type: application/soap+xml") == std::string::npos) {
    return "HTTP/1.1 415 Unsupported Media Type\r\nContent-Length: 0\r\n\r\n";
  }
  const std::size_t path = head.find(' ') + 1;
  const std::string resource = head.substr(path, head.find(' ', path) - path);
  std::string body = host.soap_body;
  for (std::size_t at; (at = body.find("%PATH%")) != std::string::npos;) {
    body.replace(at, 6, resource);
  }
  return "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\n"
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void Answer(ScriptedServers& servers, Connection& connection, int operation,
            const std::string& head) {
  const ScriptedHost& host = servers.hosts[connection.host];
  ++servers.requests;
  if (host.kind == kSilent) return;
  connection.answering = true;
  connection.answer_at = Clock::now() + host.delay;
  if (!host.soap_body.empty() && host.kind == kAnswering) {
    connection.out = SoapAnswer(host, head);
  } else if (host.kind == kFlooding) {
    connection.out = "HTTP/1.1 200 OK\r\nContent-Length: " +
                     std::to_string(host.announced_bytes != 0 ? host.announced_bytes
                                                              : host.flood_bytes) +
                     "\r\n\r\n";
    connection.flood_left = host.flood_bytes;
  } else if (!host.queues.empty()) {
    connection.out = QueuesAnswer(host);
  } else {
    connection.out = operation == 0x4002 ? NotSupported() : PrinterAnswer(host);
  }
}

void Serve(ScriptedServers* servers) {
  std::vector<Connection> connections;
  const std::string flood(64 << 10, 'x');
  while (!servers->stopping) {
    std::vector<pollfd> polled = {{servers->wake[0], POLLIN, 0}};
    for (int listener : servers->listeners) polled.push_back({listener, POLLIN, 0});
    int timeout = 100;
    for (const Connection& c : connections) {
      short events = POLLIN;
      if (c.answering) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            c.answer_at - Clock::now());
        if (left.count() <= 0) {
          events |= POLLOUT;
        } else {
          timeout = std::min<int>(timeout, static_cast<int>(left.count()) + 1);
        }
      }
      polled.push_back({c.fd, events, 0});
    }
    if (poll(polled.data(), polled.size(), timeout) < 0) continue;
    const std::size_t before = connections.size();
    std::size_t at = 1;
    for (std::size_t h = 0; h < servers->listeners.size(); ++h, ++at) {
      if ((polled[at].revents & POLLIN) == 0) continue;
      const int fd = accept4(servers->listeners[h], nullptr, nullptr,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++servers->connections;
      servers->most_open = std::max<int>(servers->most_open, ++servers->open);
      connections.push_back({fd, h, {}, {}, {}, false, 0});
    }
    for (std::size_t c = 0; c < before; ++c, ++at) {
      Connection& connection = connections[c];
      if (polled[at].revents & POLLIN) {
        char buffer[4096];
        const ssize_t got = read(connection.fd, buffer, sizeof buffer);
        if (got <= 0) {
          Close(*servers, connection);
          continue;
        }
        connection.in.append(buffer, static_cast<std::size_t>(got));
        if (connection.in[0] == '\x16') {
          // A TLS record: as a server without credentials does, it ends
          // the connection.
          ++servers->tls_refused;
          Close(*servers, connection);
          continue;
        }
        std::string head;
        for (int operation; (operation = TakeRequest(connection.in, head)) >= 0;) {
          Answer(*servers, connection, operation, head);
        }
      }
      if ((polled[at].revents & POLLOUT) && connection.answering) {
        if (connection.out.empty() && connection.flood_left > 0) {
          connection.out = flood.substr(0, std::min(flood.size(), connection.flood_left));
          connection.flood_left -= connection.out.size();
        }
        const ssize_t sent = send(connection.fd, connection.out.data(),
                                  connection.out.size(), MSG_NOSIGNAL);
        if (sent > 0) connection.out.erase(0, static_cast<std::size_t>(sent));
        if (sent < 0 && errno != EAGAIN) Close(*servers, connection);
        if (connection.out.empty() && connection.flood_left == 0) {
          connection.answering = false;
        }
      }
    }
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [](const Connection& c) { return c.fd < 0; }),
                      connections.end());
  }
  for (Connection& connection : connections) Close(*servers, connection);
}

}  // namespace

bool StartScriptedServers(ScriptedServers& servers) {
  if (pipe2(servers.wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  for (ScriptedHost& host : servers.hosts) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    servers.listeners.push_back(fd);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, servers.address.c_str(), &address.sin_addr) != 1) return false;
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      return false;
    }
    host.port = ntohs(address.sin_port);
  }
  servers.thread = std::thread(&Serve, &servers);
  return true;
}

void StopScriptedServers(ScriptedServers& servers) {
  servers.stopping = true;
  if (servers.wake[1] >= 0 && write(servers.wake[1], "x", 1) < 0) {
    // The thread sees stopping within its poll's timeout.
  }
  if (servers.thread.joinable()) servers.thread.join();
  for (int fd : servers.listeners) close(fd);
  servers.listeners.clear();
  for (int& fd : servers.wake) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

std::string HostUri(const ScriptedHost& host) {
  return "ipp://127.0.0.1:" + std::to_string(host.port) + "/ipp/print";
}

std::wstring HostServerName(const ScriptedHost& host) {
  return L"\\\\127.0.0.1:" + std::to_wstring(host.port);
}

std::size_t RaiseOpenFileLimit() {
  rlimit limit = {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  getrlimit(RLIMIT_NOFILE, &limit);
  return limit.rlim_cur == RLIM_INFINITY ? std::size_t{1} << 20
                                         : static_cast<std::size_t>(limit.rlim_cur);
}
