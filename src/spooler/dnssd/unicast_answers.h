// What a name server's answers say, read with c-ares' parsers: the names a
// PTR record points to (browse domains, service instances), an instance's
// SRV and TXT records, a host's addresses. Every answer is untrusted: a
// part that does not read as it should counts as absent.
#ifndef QUELVARO_SPOOLER_DNSSD_UNICAST_ANSWERS_H
#define QUELVARO_SPOOLER_DNSSD_UNICAST_ANSWERS_H

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "spooler/dnssd/cares_library.h"

// The names the answer's PTR records for the name asked give (and for the
// name a CNAME of the answer leads on to), in the answer's order, `most` at
// most, each as ares_expand_name writes it (dns_names.h). c-ares' own
// ares_parse_ptr_reply takes a PTR record for a host name's and refuses an
// answer holding any other name ("Drucker 2.OG._ipp._tcp...", with its
// blank and its dot, is one), so the records are walked here, with c-ares
// reading every name.
std::vector<std::string> PtrTargets(const Cares& cares,
                                    const unsigned char* answer, int size,
                                    std::size_t most);

// Where an instance's SRV record points: host as ares_expand_name writes
// it, and port.
struct SrvTarget {
  std::string host;
  int port;
};

// The SRV record of the lowest priority (the first of those), as the
// answer's SRV records give it; none where there is none, or where it says
// the service is not there (the host ".").
std::optional<SrvTarget> ChosenSrv(const Cares& cares,
                                   const unsigned char* answer, int size);

// The first TXT record of the answer as a DNS-SD record (txt_record.h);
// none where there is none, or where its strings hold more than most_bytes.
std::optional<std::map<std::string, std::string>> FirstTxtRecord(
    const Cares& cares, const unsigned char* answer, int size,
    std::size_t most_bytes);

// The first address an A (family AF_INET) or AAAA (AF_INET6) answer gives,
// numeric; empty where it gives none.
std::string FirstAddress(const Cares& cares, const unsigned char* answer,
                         int size, int family);

#endif  // QUELVARO_SPOOLER_DNSSD_UNICAST_ANSWERS_H
