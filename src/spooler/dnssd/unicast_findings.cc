// The answers of a unicast DNS-SD browse, read into what it found.
#include "spooler/dnssd/unicast_findings.h"

#include <sys/socket.h>

#include <numeric>
#include <optional>

#include "spooler/ascii_case.h"
#include "spooler/dnssd/dns_names.h"
#include "spooler/dnssd/unicast_answers.h"
#include "spooler/run_limits.h"

namespace {

// Counts bytes the browse would keep; false, counting nothing, when they
// do not fit within its bound.
bool Hold(UnicastBrowse& browse, std::size_t bytes) {
  if (bytes > kMostUnicastHeldBytes - browse.held_bytes) return false;
  browse.held_bytes += bytes;
  return true;
}

// What an entry of a map of names costs beyond its texts: the node that
// holds it (its key and value, its links and colour).
const std::size_t kMapEntryBytes =
    sizeof(std::map<std::string, std::string>::value_type) + 4 * sizeof(void*);

// A TXT record of thousands of one-byte keys holds far more than its bytes
// on the wire: each entry is counted with its node.
std::size_t TxtBytes(const std::map<std::string, std::string>& record) {
  return std::accumulate(record.begin(), record.end(), std::size_t{0},
                         [](std::size_t sum, const auto& entry) {
                           const auto& [key, value] = entry;
                           return sum + kMapEntryBytes + key.size() + value.size();
                         });
}

std::string InstanceKey(std::size_t type, const std::string& domain,
                        const std::string& name) {
  return std::to_string(type) + '\0' + AsciiLower(domain) + '\0' + name;
}

// An instance a PTR record names, once per name, type and domain; it waits
// its type's turn to be resolved. One whose name no question can carry is
// kept all the same, by its name alone.
void AddInstance(UnicastBrowse& browse, std::size_t type,
                 const std::vector<std::string>& labels) {
  if (labels.size() < 2 || browse.instances.size() >= kMostUnicastInstances) {
    return;
  }
  UnicastInstance instance;
  instance.name = labels[0];
  instance.type = type;
  instance.domain = DottedName(labels, 1);
  instance.full_name = DottedName(labels);
  instance.unresolvable = instance.full_name.empty();
  const std::string key = InstanceKey(type, instance.domain, instance.name);
  if (browse.instance_keys.count(key) != 0 ||
      !Hold(browse, sizeof instance + kMapEntryBytes + key.size() +
                        instance.name.size() + instance.domain.size() +
                        instance.full_name.size())) {
    return;
  }
  const std::size_t index = browse.instances.size();
  browse.instance_keys.emplace(key, index);
  browse.instances.push_back(std::move(instance));
  if (!browse.instances[index].unresolvable) {
    browse.resolving.queues[type].push_back(index);
  }
}

// The host an SRV record names, once (compared without case); its
// addresses are asked for. False when it cannot be kept.
bool FindHost(UnicastBrowse& browse, const std::string& name,
              std::size_t& index) {
  const std::string key = AsciiLower(name);
  const auto known = browse.host_keys.find(key);
  if (known != browse.host_keys.end()) {
    const auto& [lower_name, at] = *known;
    index = at;
    return true;
  }
  if (browse.hosts.size() >= kMostUnicastInstances ||
      !Hold(browse, sizeof(UnicastHost) + kMapEntryBytes + 2 * name.size())) {
    return false;
  }
  index = browse.hosts.size();
  browse.host_keys.emplace(key, index);
  browse.hosts.push_back({});
  browse.hosts[index].name = name;
  browse.addressing.push_back({kIpv4Question, index, 0, false});
  browse.addressing.push_back({kIpv6Question, index, 0, false});
  return true;
}

}  // namespace

DnssdService UnicastServiceOf(const UnicastBrowse& browse,
                              const UnicastInstance& instance) {
  DnssdService service;
  service.instance_name = instance.name;
  service.service_type = browse.types[instance.type];
  service.resolved = instance.resolved;
  if (!instance.resolved) return service;
  const UnicastHost& host = browse.hosts[instance.host];
  service.host_name = host.name;
  service.address =
      host.ipv4_address.empty() ? host.ipv6_address : host.ipv4_address;
  service.port = instance.port;
  service.txt = instance.txt_record;
  return service;
}

namespace {

// An instance whose records have all come is resolved, once its host's
// address is settled: its IPv4 one where it has one (whichever answer came
// first), else its IPv6 one.
void Settle(UnicastBrowse& browse, std::size_t index,
            std::vector<DnssdService>& newly) {
  UnicastInstance& instance = browse.instances[index];
  if (instance.resolved || instance.unresolvable ||
      instance.srv != kUnicastDone || instance.txt != kUnicastDone) {
    return;
  }
  const UnicastHost& host = browse.hosts[instance.host];
  if (host.ipv4 != kUnicastDone ||
      (host.ipv4_address.empty() && host.ipv6 != kUnicastDone)) {
    return;
  }
  if (host.ipv4_address.empty() && host.ipv6_address.empty()) {
    instance.unresolvable = true;
    return;
  }
  instance.resolved = true;
  newly.push_back(UnicastServiceOf(browse, instance));
}

// The names a PTR answer gives, read into labels.
std::vector<std::vector<std::string>> PtrLabels(const Cares& cares,
                                                const UnicastAnswer& answer,
                                                std::size_t most) {
  std::vector<std::vector<std::string>> names;
  if (answer.status != ARES_SUCCESS) return names;
  for (const std::string& target :
       PtrTargets(cares, answer.bytes.data(),
                  static_cast<int>(answer.bytes.size()), most)) {
    if (std::optional<std::vector<std::string>> labels = NameLabels(target)) {
      names.push_back(std::move(*labels));
    }
  }
  return names;
}

void ReadSrv(UnicastBrowse& browse, const Cares& cares,
             const UnicastAnswer& answer, std::vector<DnssdService>& newly) {
  const std::size_t index = answer.query.of;
  browse.instances[index].srv = kUnicastDone;
  std::optional<SrvTarget> target;
  if (answer.status == ARES_SUCCESS) {
    target = ChosenSrv(cares, answer.bytes.data(),
                       static_cast<int>(answer.bytes.size()));
  }
  std::optional<std::vector<std::string>> labels;
  if (target) labels = NameLabels(target->host);
  const std::string host = labels ? DottedName(*labels) : std::string();
  std::size_t host_index = 0;
  if (host.empty() || !FindHost(browse, host, host_index)) {
    browse.instances[index].unresolvable = true;
    return;
  }
  UnicastInstance& instance = browse.instances[index];
  instance.host = host_index;
  instance.port = target->port;
  browse.hosts[host_index].waiting.push_back(index);
  Settle(browse, index, newly);
}

// A TXT record the name server says is not there leaves the record empty;
// one that did not come, or that is too large to keep, leaves the instance
// unresolved.
void ReadTxt(UnicastBrowse& browse, const Cares& cares,
             const UnicastAnswer& answer, std::vector<DnssdService>& newly) {
  UnicastInstance& instance = browse.instances[answer.query.of];
  instance.txt = kUnicastDone;
  if (answer.status == ARES_ENODATA || answer.status == ARES_ENOTFOUND) {
    Settle(browse, answer.query.of, newly);
    return;
  }
  std::optional<std::map<std::string, std::string>> record;
  if (answer.status == ARES_SUCCESS) {
    record = FirstTxtRecord(cares, answer.bytes.data(),
                            static_cast<int>(answer.bytes.size()),
                            kMostUnicastTxtBytes);
  }
  if (!record || !Hold(browse, TxtBytes(*record))) {
    instance.unresolvable = true;
    return;
  }
  instance.txt_record = std::move(*record);
  Settle(browse, answer.query.of, newly);
}

void ReadAddress(UnicastBrowse& browse, const Cares& cares,
                 const UnicastAnswer& answer,
                 std::vector<DnssdService>& newly) {
  UnicastHost& host = browse.hosts[answer.query.of];
  const bool ipv4 = answer.query.question == kIpv4Question;
  (ipv4 ? host.ipv4 : host.ipv6) = kUnicastDone;
  if (answer.status == ARES_SUCCESS) {
    std::string address = FirstAddress(cares, answer.bytes.data(),
                                       static_cast<int>(answer.bytes.size()),
                                       ipv4 ? AF_INET : AF_INET6);
    if (Hold(browse, address.size())) {
      (ipv4 ? host.ipv4_address : host.ipv6_address) = std::move(address);
    }
  }
  // (Settle may not add to the host's waiting list: a copy.)
  const std::vector<std::size_t> waiting = host.waiting;
  for (std::size_t index : waiting) Settle(browse, index, newly);
}

}  // namespace

bool AddBrowsedDomain(UnicastBrowse& browse, const std::string& name) {
  const std::string key = AsciiLower(name);
  if (name.empty() || browse.domains.size() >= kMostUnicastDomains ||
      browse.domain_keys.count(key) != 0 ||
      !Hold(browse, kMapEntryBytes + 2 * name.size())) {
    return false;
  }
  const std::size_t index = browse.domains.size();
  browse.domain_keys.emplace(key, index);
  browse.domains.push_back(name);
  for (std::size_t type = 0; type < browse.types.size(); ++type) {
    browse.browsing.push_back({kServicesQuestion, index, type, false});
  }
  return true;
}

void ReadUnicastAnswer(UnicastBrowse& browse, const Cares& cares,
                       const UnicastAnswer& answer,
                       std::vector<DnssdService>& newly) {
  switch (answer.query.question) {
    case kBrowseDomainsQuestion:
      for (const auto& labels : PtrLabels(cares, answer, kMostUnicastDomains)) {
        AddBrowsedDomain(browse, DottedName(labels));
      }
      return;
    case kServicesQuestion:
      for (const auto& labels :
           PtrLabels(cares, answer,
                     kMostUnicastInstances - browse.instances.size())) {
        AddInstance(browse, answer.query.type, labels);
      }
      return;
    case kSrvQuestion:
      ReadSrv(browse, cares, answer, newly);
      return;
    case kTxtQuestion:
      ReadTxt(browse, cares, answer, newly);
      return;
    case kIpv4Question:
    case kIpv6Question:
      ReadAddress(browse, cares, answer, newly);
      return;
  }
}
