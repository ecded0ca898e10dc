// Finding services by DNS-SD over unicast DNS, as sites publish the
// printers of other subnets, which multicast DNS does not reach: a browse
// that a poll loop moves along, beside the Avahi one (dnssd_browse.h). For
// each domain of the resolver's configuration (its search list), the
// configured name servers are asked which browse domains it names
// (b._dns-sd._udp and lb._dns-sd._udp PTR records), then, in each of those
// and in the domain itself, for the instances of each service type (PTR),
// then for each instance's SRV and TXT records, then for the A and AAAA
// records of the host its SRV record names. Through c-ares, on the loop's
// one poll: UDP, TCP where an answer is truncated, no thread, nothing that
// blocks; everything ends by the deadline. Many questions are under way at
// once: the browse's first, then the hosts' addresses, then the instances'
// records, taken in turn from each browsed type, so that a domain holding
// thousands of instances of one type keeps no other type from being
// resolved. Each instance is handed over as soon as it is resolved; one
// named but not resolved by the end is still one of what it found.
#ifndef QUELVARO_SPOOLER_DNSSD_UNICAST_BROWSE_H
#define QUELVARO_SPOOLER_DNSSD_UNICAST_BROWSE_H

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "spooler/deadline.h"
#include "spooler/dnssd/dnssd_browse.h"
#include "spooler/dnssd/type_turns.h"
#include "spooler/net/poll_set.h"

struct UnicastBrowseSettings {
  // The resolver's configuration, read as c-ares reads it; empty: the
  // system's (/etc/resolv.conf, LOCALDOMAIN, else the host name's domain,
  // as the C library's resolver does).
  std::string resolv_conf;
  // The name servers' port, UDP and TCP; 0: the DNS port, 53.
  int port = 0;
  // Nothing browsed at all, whatever the resolver's domains (a run whose
  // test is about something else).
  bool off = false;
};

// What a question asks for.
enum UnicastQuestion {
  kBrowseDomainsQuestion,  // PTR b._dns-sd._udp.<domain>, lb._dns-sd._udp...
  kServicesQuestion,       // PTR <type>.<domain>
  kSrvQuestion,            // an instance's SRV
  kTxtQuestion,            // an instance's TXT
  kIpv4Question,           // a host's A
  kIpv6Question,           // a host's AAAA
};

// A question, to ask or asked: of which domain, instance or host (an index
// into the browse's), and for kServicesQuestion of which type.
struct UnicastQuery {
  UnicastQuestion question;
  std::size_t of;
  std::size_t type;
  bool legacy;  // kBrowseDomainsQuestion: lb._dns-sd._udp, not b.
};

// An answer c-ares gave (or the failure it reported), waiting to be read:
// its callback puts it here, the browse reads it after c-ares returns.
struct UnicastAnswer {
  UnicastQuery query;
  int status;                        // ARES_SUCCESS, ARES_ENODATA, ...
  std::vector<unsigned char> bytes;  // the whole message, as it came
};
struct UnicastInbox {
  std::vector<UnicastAnswer> answers;
};

enum UnicastStep { kUnicastWaiting, kUnicastAsked, kUnicastDone };

// A host an SRV record names, asked for once however many instances it
// serves.
struct UnicastHost {
  std::string name;  // as dns_names.h's DottedName writes it
  UnicastStep ipv4 = kUnicastWaiting;
  UnicastStep ipv6 = kUnicastWaiting;
  std::string ipv4_address;  // numeric; empty: none
  std::string ipv6_address;
  std::vector<std::size_t> waiting;  // the instances it serves
};

// An instance a PTR record named: once per name, type and domain.
struct UnicastInstance {
  std::string name;       // its label, bytes as given
  std::size_t type;       // an index into the browse's types
  std::string domain;     // where it was found (DottedName)
  std::string full_name;  // the whole name, SRV and TXT asked at it
  UnicastStep srv = kUnicastWaiting;
  UnicastStep txt = kUnicastWaiting;
  std::size_t host = 0;  // set by its SRV record
  int port = 0;
  std::map<std::string, std::string> txt_record;
  bool resolved = false;
  bool unresolvable = false;  // its records could not be had or kept
};

struct ares_channeldata;
void DestroyCaresChannel(ares_channeldata* channel);
using CaresChannel =
    std::unique_ptr<ares_channeldata, decltype(&DestroyCaresChannel)>;

// A browse in progress.
struct UnicastBrowse {
  // Before the channel, so that it outlives it: destroying the channel
  // calls back every question still under way.
  std::unique_ptr<UnicastInbox> inbox;
  CaresChannel channel{nullptr, &DestroyCaresChannel};
  Deadline deadline = {};
  std::vector<std::string> types;    // browsed, in this order
  std::vector<std::string> domains;  // DottedName, the resolver's first
  std::map<std::string, std::size_t> domain_keys;    // lower case: index
  std::vector<UnicastInstance> instances;            // in the order named
  std::map<std::string, std::size_t> instance_keys;  // InstanceKey: index
  std::vector<UnicastHost> hosts;
  std::map<std::string, std::size_t> host_keys;  // lower case: index
  // The questions waiting to be asked: the browse's, the addresses', and
  // the instances' (SRV and TXT together), one queue per type taken in turn.
  std::deque<UnicastQuery> browsing;
  std::deque<UnicastQuery> addressing;
  TypeTurns resolving;
  std::size_t under_way = 0;   // asked, their answers not yet read
  std::size_t held_bytes = 0;  // what the browse keeps (kMostUnicastHeldBytes)
};

// Starts browsing for services of the given types, to end by the deadline:
// reads the resolver's configuration, and asks for the browse domains and
// the services of each of its domains. With no domain to browse (no search
// domain), or without c-ares, nothing is asked, no socket opened, and the
// browse is over at once with nothing.
void StartUnicastBrowse(UnicastBrowse& browse,
                        const UnicastBrowseSettings& settings,
                        const std::vector<std::string>& types,
                        Deadline deadline);

// Adds what the browse waits for to the set: its sockets, and the time by
// which it must be moved on regardless (a question to ask again, the
// deadline).
void UnicastBrowsePolls(const UnicastBrowse& browse, PollSet& set,
                        Deadline now);

// Moves the browse on at now after the set's wait: reads what its sockets
// have, asks again what went unanswered, reads the answers and asks what
// they lead to; appends the instances resolved meanwhile to newly (the same
// name and type may come twice, found in two domains: EndUnicastBrowse
// keeps one).
void ContinueUnicastBrowse(UnicastBrowse& browse, const PollSet& set,
                           std::vector<DnssdService>& newly, Deadline now);

// Whether the browse is over: every question answered (or given up), or
// the deadline has come, or there was nothing to ask.
bool IsUnicastBrowseOver(const UnicastBrowse& browse, Deadline now);

// Ends the browse (cancelling what is under way, closing its sockets) and
// returns every instance it named, each once by name and type: resolved as
// it was, or with its name and type alone; in the order EndBrowse gives. Of
// the same name and type found in two domains, a resolved one, then the
// one of the domain first in byte order (lower case).
std::vector<DnssdService> EndUnicastBrowse(UnicastBrowse& browse);

#endif  // QUELVARO_SPOOLER_DNSSD_UNICAST_BROWSE_H
