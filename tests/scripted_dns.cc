#include "scripted_dns.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "spooler/ascii_case.h"

namespace {

const int kPtr = 12;
const std::size_t kUdpMost = 512;

std::string Bytes16(unsigned value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xff)};
}

std::string Encoded(const DnsName& name) {
  std::string bytes;
  for (const std::string& label : name)
    bytes += static_cast<char>(label.size()) + label;
  return bytes + '\0';
}

bool SameName(const DnsName& a, const DnsName& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The question of a query: its name and type, and where it ends; false
// for a query that does not read.
bool ReadQuestion(const std::string& query, DnsName& name, int& type,
                  std::size_t& end) {
  std::size_t at = 12;
  while (at < query.size() && query[at] != 0) {
    const std::size_t length = static_cast<unsigned char>(query[at]);
    if (length > 63 || at + 1 + length > query.size()) return false;
    name.push_back(query.substr(at + 1, length));
    at += 1 + length;
  }
  end = at + 5;
  if (end > query.size()) return false;
  type = (static_cast<unsigned char>(query[at + 1]) << 8) |
         static_cast<unsigned char>(query[at + 2]);
  return true;
}

// The answer to a query; empty for none.
std::string Answer(ScriptedDns& dns, const std::string& query, bool udp) {
  DnsName name;
  int type = 0;
  std::size_t end = 0;
  if (query.size() < 12 || !ReadQuestion(query, name, type, end)) return {};
  std::string dotted;
  for (const std::string& label : name)
    dotted += (dotted.empty() ? "" : ".") + label;
  dns.asked.push_back(dotted + " " + std::to_string(type));
  if (!udp) ++dns.tcp_questions;
  if (dns.unanswered.count(type) != 0) return {};
  std::string records;
  unsigned count = 0;
  bool named = false;
  for (const DnsRecord& record : dns.records) {
    if (!SameName(record.owner, name)) continue;
    named = true;
    if (record.type != type) continue;
    std::string data = record.data;
    // A PTR target under the name asked: its first label, then a pointer
    // to the question's name (at 12).
    if (type == kPtr && data.size() > Encoded(name).size() &&
        AsciiLower(data.substr(1 + static_cast<unsigned char>(data[0]))) ==
            AsciiLower(Encoded(name))) {
      data =
          data.substr(0, 1 + static_cast<unsigned char>(data[0])) + "\xc0\x0c";
    }
    records += std::string("\xc0\x0c", 2) + Bytes16(type) + Bytes16(1) +
               std::string("\0\0\0\x3c", 4) + Bytes16(data.size()) + data;
    ++count;
  }
  const unsigned rcode = named ? 0 : 3;
  const std::string question = query.substr(12, end - 12);
  std::string head = query.substr(0, 2) + Bytes16(0x8180 | rcode) + Bytes16(1);
  if (udp && 12 + question.size() + records.size() > kUdpMost) {
    head[2] = static_cast<char>(head[2] | 0x02);  // TC
    return head + Bytes16(0) + Bytes16(0) + Bytes16(0) + question;
  }
  return head + Bytes16(count) + Bytes16(0) + Bytes16(0) + question + records;
}

}  // namespace

bool StartScriptedDns(ScriptedDns& dns) {
  // A port free for TCP (a listener's) and for UDP: another test's
  // connections may hold the one, tried again.
  for (int attempt = 0; attempt < 20; ++attempt) {
    dns.tcp = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    dns.udp = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (dns.udp >= 0 && dns.tcp >= 0 &&
        bind(dns.tcp, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        listen(dns.tcp, 16) == 0 &&
        getsockname(dns.tcp, reinterpret_cast<sockaddr*>(&address), &size) ==
            0 &&
        bind(dns.udp, reinterpret_cast<sockaddr*>(&address), size) == 0) {
      dns.port = ntohs(address.sin_port);
      return true;
    }
    for (int* fd : {&dns.udp, &dns.tcp}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }
  return false;
}

void ServeScriptedDns(ScriptedDns& dns) {
  char buffer[65536];
  sockaddr_storage peer = {};
  socklen_t size = sizeof peer;
  for (ssize_t got;
       (got = recvfrom(dns.udp, buffer, sizeof buffer, 0,
                       reinterpret_cast<sockaddr*>(&peer), &size)) > 0;
       size = sizeof peer) {
    const std::string answer = Answer(dns, std::string(buffer, got), true);
    if (!answer.empty()) {
      sendto(dns.udp, answer.data(), answer.size(), 0,
             reinterpret_cast<sockaddr*>(&peer), size);
    }
  }
  for (int fd; (fd = accept4(dns.tcp, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
    dns.connections.push_back(fd);
    dns.pending.emplace_back();
  }
  for (std::size_t c = 0; c < dns.connections.size(); ++c) {
    const ssize_t got =
        recv(dns.connections[c], buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) dns.pending[c].append(buffer, got);
    std::string& in = dns.pending[c];
    while (in.size() >= 2) {
      const std::size_t length = (static_cast<unsigned char>(in[0]) << 8) |
                                 static_cast<unsigned char>(in[1]);
      if (in.size() < 2 + length) break;
      const std::string answer = Answer(dns, in.substr(2, length), false);
      in.erase(0, 2 + length);
      // (Blocking: the browse reads it on its next turn.)
      const std::string framed = Bytes16(answer.size()) + answer;
      if (!answer.empty() && send(dns.connections[c], framed.data(),
                                  framed.size(), MSG_NOSIGNAL) < 0) {
        break;
      }
    }
  }
}

void StopScriptedDns(ScriptedDns& dns) {
  for (int fd : dns.connections) close(fd);
  for (int fd : {dns.udp, dns.tcp}) {
    if (fd >= 0) close(fd);
  }
  dns = ScriptedDns();
}

DnsName Dns(const std::string& dotted) {
  DnsName name;
  std::size_t start = 0;
  for (std::size_t dot; (dot = dotted.find('.', start)) != std::string::npos;
       start = dot + 1) {
    name.push_back(dotted.substr(start, dot - start));
  }
  name.push_back(dotted.substr(start));
  return name;
}

DnsName Child(const std::string& label, const DnsName& parent) {
  DnsName name = {label};
  name.insert(name.end(), parent.begin(), parent.end());
  return name;
}

std::string PtrData(const DnsName& target) { return Encoded(target); }

std::string SrvData(int port, const DnsName& host) {
  return Bytes16(0) + Bytes16(0) + Bytes16(port) + Encoded(host);
}

std::string TxtData(const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& text : strings)
    data += static_cast<char>(text.size()) + text;
  return data;
}

std::string AData(const std::string& address) {
  in_addr bytes = {};
  inet_pton(AF_INET, address.c_str(), &bytes);
  return std::string(reinterpret_cast<const char*>(&bytes), 4);
}

ResolvConfFolder::ResolvConfFolder() {
  char name[] = "/tmp/quelvaro-resolv.XXXXXX";
  path = mkdtemp(name) != nullptr ? name : "";
}

ResolvConfFolder::~ResolvConfFolder() {
  if (path.empty()) return;
  std::remove((path + "/resolv.conf").c_str());
  rmdir(path.c_str());
}

std::string WriteResolvConf(const ResolvConfFolder& folder, const std::string& text) {
  const std::string conf = folder.path + "/resolv.conf";
  std::ofstream(conf) << text;
  return conf;
}
