// DNS-SD over unicast DNS through c-ares, on the loop's poll: its sockets
// polled with the loop's others (ares_getsock), moved on by ares_process_fd,
// and each answer, put into the inbox by c-ares' callback, read once c-ares
// has returned, so that what it leads to is asked outside the library's
// own calls.
#include "spooler/dnssd/unicast_browse.h"

#include <ares.h>
#include <ares_nameser.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <numeric>
#include <optional>

#include "spooler/ascii_case.h"
#include "spooler/dnssd/cares_library.h"
#include "spooler/dnssd/dns_names.h"
#include "spooler/dnssd/unicast_findings.h"
#include "spooler/run_limits.h"

namespace {

// What c-ares hands to a question's callback: where to put its answer, and
// what the question was. The callback owns it: c-ares calls it exactly once
// (answered, failed, cancelled or destroyed).
struct CaresTicket {
  UnicastInbox* inbox;
  UnicastQuery query;
};

void TakeAnswer(void* argument, int status, int /*timeouts*/,
                unsigned char* bytes, int size) {
  const std::unique_ptr<CaresTicket> ticket(
      static_cast<CaresTicket*>(argument));
  UnicastAnswer answer{ticket->query, status, {}};
  if (bytes != nullptr && size > 0) answer.bytes.assign(bytes, bytes + size);
  ticket->inbox->answers.push_back(std::move(answer));
}

// The name a question asks about, as ares_query takes it.
std::string QueryName(const UnicastBrowse& browse, const UnicastQuery& query) {
  switch (query.question) {
    case kBrowseDomainsQuestion:
      return (query.legacy ? "lb._dns-sd._udp." : "b._dns-sd._udp.") +
             browse.domains[query.of];
    case kServicesQuestion:
      return browse.types[query.type] + "." + browse.domains[query.of];
    case kSrvQuestion:
    case kTxtQuestion:
      return browse.instances[query.of].full_name;
    case kIpv4Question:
    case kIpv6Question:
      return browse.hosts[query.of].name;
  }
  return std::string();
}

int RecordType(UnicastQuestion question) {
  switch (question) {
    case kSrvQuestion:
      return T_SRV;
    case kTxtQuestion:
      return T_TXT;
    case kIpv4Question:
      return T_A;
    case kIpv6Question:
      return T_AAAA;
    default:
      return T_PTR;
  }
}

// Asks the question; its answer, or its failure, comes to the inbox (at
// once, for a name c-ares cannot ask about).
void Ask(UnicastBrowse& browse, const Cares& cares, const UnicastQuery& query) {
  ++browse.under_way;
  const std::string name = QueryName(browse, query);
  auto ticket =
      std::make_unique<CaresTicket>(CaresTicket{browse.inbox.get(), query});
  cares.query(browse.channel.get(), name.c_str(), C_IN,
              RecordType(query.question), &TakeAnswer, ticket.release());
}

// Questions asked while fewer than kMostUnicastQueries are under way: the
// browse's, then the addresses', then an instance's SRV and TXT records
// from each type's queue in turn.
void AskQuestions(UnicastBrowse& browse, const Cares& cares) {
  while (browse.under_way < kMostUnicastQueries) {
    std::deque<UnicastQuery>& first =
        !browse.browsing.empty() ? browse.browsing : browse.addressing;
    if (!first.empty()) {
      const UnicastQuery query = first.front();
      first.pop_front();
      Ask(browse, cares, query);
      continue;
    }
    const std::optional<std::size_t> index = TakeNextInTurn(browse.resolving);
    if (!index) return;
    browse.instances[*index].srv = kUnicastAsked;
    browse.instances[*index].txt = kUnicastAsked;
    Ask(browse, cares, {kSrvQuestion, *index, 0, false});
    Ask(browse, cares, {kTxtQuestion, *index, 0, false});
  }
}

// Reads every answer that came and asks what they lead to, until no more
// comes at once (a question c-ares cannot ask fails at once).
void ReadAndAsk(UnicastBrowse& browse, const Cares& cares,
                std::vector<DnssdService>& newly) {
  AskQuestions(browse, cares);
  while (!browse.inbox->answers.empty()) {
    std::vector<UnicastAnswer> answers;
    answers.swap(browse.inbox->answers);
    for (const UnicastAnswer& answer : answers) {
      --browse.under_way;
      ReadUnicastAnswer(browse, cares, answer, newly);
    }
    AskQuestions(browse, cares);
  }
}

// The sockets c-ares uses now, and what it waits on each for.
struct CaresSocket {
  int fd;
  bool reading;
  bool writing;
};

std::vector<CaresSocket> CaresSockets(const UnicastBrowse& browse,
                                      const Cares& cares) {
  ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
  const int bits =
      cares.getsock(browse.channel.get(), sockets, ARES_GETSOCK_MAXNUM);
  std::vector<CaresSocket> found;
  for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
    const bool reading = ARES_GETSOCK_READABLE(bits, i) != 0;
    const bool writing = ARES_GETSOCK_WRITABLE(bits, i) != 0;
    if (reading || writing) found.push_back({sockets[i], reading, writing});
  }
  return found;
}

}  // namespace

void DestroyCaresChannel(ares_channeldata* channel) {
  const Cares* cares = LoadCaresOnce();
  if (channel != nullptr && cares != nullptr) cares->destroy(channel);
}

void StartUnicastBrowse(UnicastBrowse& browse,
                        const UnicastBrowseSettings& settings,
                        const std::vector<std::string>& types,
                        Deadline deadline) {
  browse.deadline = deadline;
  browse.types = types;
  browse.resolving.queues.assign(std::max<std::size_t>(types.size(), 1), {});
  browse.inbox = std::make_unique<UnicastInbox>();
  if (settings.off || types.empty()) return;
  const Cares* cares = LoadCaresOnce();
  if (cares == nullptr) return;
  ares_options options = {};
  int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
  options.timeout = static_cast<int>(kUnicastQueryTimeout.count());
  options.tries = kUnicastQueryTries;
  if (!settings.resolv_conf.empty()) {
    options.resolvconf_path = const_cast<char*>(settings.resolv_conf.c_str());
    mask |= ARES_OPT_RESOLVCONF;
  }
  if (settings.port != 0) {
    options.udp_port = static_cast<unsigned short>(settings.port);
    options.tcp_port = static_cast<unsigned short>(settings.port);
    mask |= ARES_OPT_UDP_PORT | ARES_OPT_TCP_PORT;
  }
  ares_channel channel = nullptr;
  if (cares->init_options(&channel, &options, mask) != ARES_SUCCESS) return;
  browse.channel.reset(channel);
  // The resolver's domains, as c-ares read them.
  ares_options saved = {};
  int saved_mask = 0;
  if (cares->save_options(channel, &saved, &saved_mask) == ARES_SUCCESS) {
    for (int i = 0; i < saved.ndomains; ++i) {
      std::optional<std::vector<std::string>> labels =
          NameLabels(saved.domains[i] != nullptr ? saved.domains[i] : "");
      if (!labels) continue;
      const std::size_t before = browse.domains.size();
      if (!AddBrowsedDomain(browse, DottedName(*labels))) continue;
      browse.browsing.push_back({kBrowseDomainsQuestion, before, 0, false});
      browse.browsing.push_back({kBrowseDomainsQuestion, before, 0, true});
    }
    cares->destroy_options(&saved);
  }
  if (browse.domains.empty()) {
    browse.channel.reset();
    return;
  }
  // The browse domains first: what they name is asked for as they come.
  std::stable_partition(browse.browsing.begin(), browse.browsing.end(),
                        [](const UnicastQuery& query) {
                          return query.question == kBrowseDomainsQuestion;
                        });
  std::vector<DnssdService> none;
  ReadAndAsk(browse, *cares, none);
}

void UnicastBrowsePolls(const UnicastBrowse& browse, PollSet& set,
                        Deadline now) {
  const Cares* cares = LoadCaresOnce();
  if (!browse.channel || cares == nullptr) return;
  WakeBy(set, browse.deadline);
  for (const CaresSocket& socket : CaresSockets(browse, *cares)) {
    WantPoll(set, socket.fd,
             static_cast<short>((socket.reading ? POLLIN : 0) |
                                (socket.writing ? POLLOUT : 0)));
  }
  timeval wait = {};
  if (cares->timeout(browse.channel.get(), nullptr, &wait) != nullptr) {
    WakeBy(set, now + std::chrono::seconds(wait.tv_sec) +
                    std::chrono::microseconds(wait.tv_usec));
  }
}

void ContinueUnicastBrowse(UnicastBrowse& browse, const PollSet& set,
                           std::vector<DnssdService>& newly, Deadline now) {
  const Cares* cares = LoadCaresOnce();
  if (!browse.channel || cares == nullptr || now >= browse.deadline) return;
  const short failed = POLLERR | POLLHUP | POLLNVAL;
  for (const CaresSocket& socket : CaresSockets(browse, *cares)) {
    const short ready = ReadyEvents(set, socket.fd);
    const bool read = socket.reading && (ready & (POLLIN | failed)) != 0;
    const bool write = socket.writing && (ready & (POLLOUT | failed)) != 0;
    if (read || write) {
      cares->process_fd(browse.channel.get(),
                        read ? socket.fd : ARES_SOCKET_BAD,
                        write ? socket.fd : ARES_SOCKET_BAD);
    }
  }
  // The questions whose time has come are asked again, or given up.
  cares->process_fd(browse.channel.get(), ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  ReadAndAsk(browse, *cares, newly);
}

bool IsUnicastBrowseOver(const UnicastBrowse& browse, Deadline now) {
  if (!browse.channel || now >= browse.deadline) return true;
  if (browse.under_way > 0 || !browse.browsing.empty() ||
      !browse.addressing.empty()) {
    return false;
  }
  return AreTurnsEmpty(browse.resolving);
}

std::vector<DnssdService> EndUnicastBrowse(UnicastBrowse& browse) {
  // Every question under way is called back, cancelled, into the inbox.
  browse.channel.reset();
  if (browse.inbox) browse.inbox->answers.clear();
  std::vector<std::size_t> order(browse.instances.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::vector<std::string> domains;
  for (const UnicastInstance& instance : browse.instances) {
    domains.push_back(AsciiLower(instance.domain));
  }
  const auto same = [&browse](std::size_t a, std::size_t b) {
    const UnicastInstance& x = browse.instances[a];
    const UnicastInstance& y = browse.instances[b];
    return x.name == y.name && browse.types[x.type] == browse.types[y.type];
  };
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const UnicastInstance& x = browse.instances[a];
    const UnicastInstance& y = browse.instances[b];
    if (x.name != y.name) return x.name < y.name;
    if (browse.types[x.type] != browse.types[y.type]) {
      return browse.types[x.type] < browse.types[y.type];
    }
    if (x.resolved != y.resolved) return x.resolved;
    return domains[a] < domains[b];
  });
  order.erase(std::unique(order.begin(), order.end(), same), order.end());
  std::vector<DnssdService> found;
  for (std::size_t index : order) {
    found.push_back(UnicastServiceOf(browse, browse.instances[index]));
  }
  return found;
}
