// A name server on a loopback port (UDP and TCP) for the unicast browse's
// in-process tests, served on the test's own thread between turns of the
// browse: it answers from its records (NXDOMAIN for a name it has none
// for), truncates over UDP an answer larger than 512 bytes, keeps quiet
// for the types it is told to, and counts the questions it saw.
#ifndef QUELVARO_TESTS_SCRIPTED_DNS_H
#define QUELVARO_TESTS_SCRIPTED_DNS_H

#include <set>
#include <string>
#include <vector>

using DnsName = std::vector<std::string>;  // labels, bytes as they are

struct DnsRecord {
  DnsName owner;
  int type;
  std::string data;  // the record's data, as written by the helpers below
};

struct ScriptedDns {
  std::vector<DnsRecord> records;
  std::set<int> unanswered;  // types it never answers
  int udp = -1;
  int tcp = -1;                      // listening
  std::vector<int> connections;      // TCP, accepted
  std::vector<std::string> pending;  // what each has sent, not yet read
  int port = 0;
  std::vector<std::string> asked;  // "name type", in the order seen
  int tcp_questions = 0;
};

bool StartScriptedDns(ScriptedDns& dns);
// Answers every question that has come (without waiting).
void ServeScriptedDns(ScriptedDns& dns);
void StopScriptedDns(ScriptedDns& dns);

// "a.b.c" as labels (no label with a dot of its own).
DnsName Dns(const std::string& dotted);
DnsName Child(const std::string& label, const DnsName& parent);

// Record data. A PTR record whose name ends in the name asked is written
// with that name compressed, as name servers do.
std::string PtrData(const DnsName& target);
std::string SrvData(int port, const DnsName& host);
std::string TxtData(const std::vector<std::string>& strings);
std::string AData(const std::string& address);

// A folder of the test's own under /tmp, removed with it, for the
// resolv.conf that names the scripted server; and that file written.
struct ResolvConfFolder {
  std::string path;
  ResolvConfFolder();
  ~ResolvConfFolder();
};
std::string WriteResolvConf(const ResolvConfFolder& folder, const std::string& text);

#endif  // QUELVARO_TESTS_SCRIPTED_DNS_H
