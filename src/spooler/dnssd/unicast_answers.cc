// Name servers' answers, read.
#include "spooler/dnssd/unicast_answers.h"

#include <ares_dns.h>
#include <ares_nameser.h>
#include <arpa/inet.h>
#include <netinet/in.h>

#include <memory>

#include "spooler/ascii_case.h"
#include "spooler/dnssd/txt_record.h"

namespace {

// The name at `at`, as ares_expand_name writes it, and how many bytes it
// takes there; false for one that does not read (it goes outside the
// answer, or its compression loops).
bool ReadName(const Cares& cares, const unsigned char* at,
              const unsigned char* answer, int size, std::string& name,
              long& length) {
  char* written = nullptr;
  if (cares.expand_name(at, answer, size, &written, &length) != ARES_SUCCESS) {
    return false;
  }
  name = written;
  cares.free_string(written);
  return true;
}

// A list c-ares made, freed with it.
template <typename Reply>
using CaresList = std::unique_ptr<Reply, void (*)(void*)>;

}  // namespace

std::vector<std::string> PtrTargets(const Cares& cares,
                                    const unsigned char* answer, int size,
                                    std::size_t most) {
  std::vector<std::string> targets;
  if (size < HFIXEDSZ || DNS_HEADER_QDCOUNT(answer) != 1) return targets;
  const unsigned char* const end = answer + size;
  const unsigned char* at = answer + HFIXEDSZ;
  std::string asked;
  long length = 0;
  if (!ReadName(cares, at, answer, size, asked, length) ||
      end - at < length + QFIXEDSZ) {
    return targets;
  }
  at += length + QFIXEDSZ;
  asked = AsciiLower(asked);
  for (unsigned records = DNS_HEADER_ANCOUNT(answer);
       records > 0 && targets.size() < most; --records) {
    std::string owner;
    if (!ReadName(cares, at, answer, size, owner, length) ||
        end - at < length + RRFIXEDSZ) {
      break;
    }
    at += length;
    const int type = DNS_RR_TYPE(at);
    const int record_class = DNS_RR_CLASS(at);
    const long data_size = DNS_RR_LEN(at);
    at += RRFIXEDSZ;
    if (end - at < data_size) break;
    std::string data;
    if (record_class == C_IN && (type == T_PTR || type == T_CNAME) &&
        AsciiLower(owner) == asked &&
        ReadName(cares, at, answer, size, data, length) &&
        length <= data_size) {
      if (type == T_PTR) {
        targets.push_back(std::move(data));
      } else {
        asked = AsciiLower(data);
      }
    }
    at += data_size;
  }
  return targets;
}

std::optional<SrvTarget> ChosenSrv(const Cares& cares,
                                   const unsigned char* answer, int size) {
  ares_srv_reply* first = nullptr;
  if (cares.parse_srv_reply(answer, size, &first) != ARES_SUCCESS) {
    return std::nullopt;
  }
  const CaresList<ares_srv_reply> records(first, cares.free_data);
  const ares_srv_reply* chosen = nullptr;
  for (const ares_srv_reply* record = first; record != nullptr;
       record = record->next) {
    if (chosen == nullptr || record->priority < chosen->priority)
      chosen = record;
  }
  if (chosen == nullptr || chosen->host == nullptr || chosen->host[0] == '\0') {
    return std::nullopt;
  }
  return SrvTarget{chosen->host, chosen->port};
}

std::optional<std::map<std::string, std::string>> FirstTxtRecord(
    const Cares& cares, const unsigned char* answer, int size,
    std::size_t most_bytes) {
  ares_txt_ext* first = nullptr;
  if (cares.parse_txt_reply_ext(answer, size, &first) != ARES_SUCCESS) {
    return std::nullopt;
  }
  const CaresList<ares_txt_ext> strings(first, cares.free_data);
  std::vector<std::string> record;
  std::size_t bytes = 0;
  for (const ares_txt_ext* string = first; string != nullptr;
       string = string->next) {
    // The second record begins: the first is whole.
    if (string != first && string->record_start) break;
    bytes += string->length;
    if (bytes > most_bytes) return std::nullopt;
    record.emplace_back(reinterpret_cast<const char*>(string->txt),
                        string->length);
  }
  if (first == nullptr) return std::nullopt;
  return TxtRecordOf(record);
}

std::string FirstAddress(const Cares& cares, const unsigned char* answer,
                         int size, int family) {
  char text[INET6_ADDRSTRLEN] = {};
  int count = 1;
  if (family == AF_INET) {
    ares_addrttl address = {};
    if (cares.parse_a_reply(answer, size, nullptr, &address, &count) !=
            ARES_SUCCESS ||
        count < 1 ||
        inet_ntop(AF_INET, &address.ipaddr, text, sizeof text) == nullptr) {
      return std::string();
    }
    return text;
  }
  ares_addr6ttl address = {};
  if (cares.parse_aaaa_reply(answer, size, nullptr, &address, &count) !=
          ARES_SUCCESS ||
      count < 1 ||
      inet_ntop(AF_INET6, &address.ip6addr, text, sizeof text) == nullptr) {
    return std::string();
  }
  return text;
}
