// Browsing and resolving with Avahi's client library, on a poll loop of our
// own that never runs past the deadline.
#include "spooler/dnssd/dnssd_browse.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/simple-watch.h>
#include <avahi-common/strlst.h>

#include <algorithm>
#include <memory>

namespace {

// What the callbacks share: the services resolved so far, and how many
// browsers and resolvers have still to report.
using Browsing = std::pair<std::vector<DnssdService>, int>;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::map<std::string, std::string> TxtRecord(AvahiStringList* txt) {
  std::map<std::string, std::string> record;
  for (; txt != nullptr; txt = avahi_string_list_get_next(txt)) {
    const std::string entry(
        reinterpret_cast<const char*>(avahi_string_list_get_text(txt)),
        avahi_string_list_get_size(txt));
    const std::size_t equals = entry.find('=');
    const std::string key = Lower(entry.substr(0, equals));
    // The first of a key counts, as DNS-SD says.
    if (key.empty() || record.count(key) != 0) continue;
    record.emplace(key, equals == std::string::npos ? std::string()
                                                    : entry.substr(equals + 1));
  }
  return record;
}

std::string AddressText(const AvahiAddress* address, AvahiIfIndex interface) {
  if (address == nullptr) return std::string();
  char text[AVAHI_ADDRESS_STR_MAX] = {};
  avahi_address_snprint(text, sizeof text, address);
  std::string numeric = text;
  // A link-local IPv6 address is only reached through its interface.
  if (address->proto == AVAHI_PROTO_INET6 &&
      Lower(numeric.substr(0, 4)) == "fe80") {
    numeric += "%" + std::to_string(interface);
  }
  return numeric;
}

void Resolved(AvahiServiceResolver* resolver, AvahiIfIndex interface,
              AvahiProtocol, AvahiResolverEvent event, const char* name,
              const char* type, const char*, const char* host_name,
              const AvahiAddress* address, uint16_t port,
              AvahiStringList* txt, AvahiLookupResultFlags, void* data) {
  Browsing& browsing = *static_cast<Browsing*>(data);
  if (event == AVAHI_RESOLVER_FOUND && name != nullptr && type != nullptr) {
    DnssdService service;
    service.instance_name = name;
    service.service_type = type;
    service.host_name = host_name == nullptr ? "" : host_name;
    service.address = AddressText(address, interface);
    service.port = port;
    service.txt = TxtRecord(txt);
    browsing.first.push_back(std::move(service));
  }
  avahi_service_resolver_free(resolver);
  --browsing.second;
}

void Browsed(AvahiServiceBrowser* browser, AvahiIfIndex interface,
             AvahiProtocol protocol, AvahiBrowserEvent event,
             const char* name, const char* type, const char* domain,
             AvahiLookupResultFlags, void* data) {
  Browsing& browsing = *static_cast<Browsing*>(data);
  switch (event) {
    case AVAHI_BROWSER_NEW:
      if (avahi_service_resolver_new(
              avahi_service_browser_get_client(browser), interface, protocol,
              name, type, domain, AVAHI_PROTO_UNSPEC,
              static_cast<AvahiLookupFlags>(0), &Resolved, data) != nullptr) {
        ++browsing.second;
      }
      break;
    case AVAHI_BROWSER_ALL_FOR_NOW:
    case AVAHI_BROWSER_FAILURE:
      // Each browser says this once; what it found is being resolved.
      --browsing.second;
      break;
    default:
      break;
  }
}

bool SameInstance(const DnssdService& a, const DnssdService& b) {
  return a.instance_name == b.instance_name &&
         a.service_type == b.service_type;
}

bool InstanceOrder(const DnssdService& a, const DnssdService& b) {
  if (a.instance_name != b.instance_name) {
    return a.instance_name < b.instance_name;
  }
  return a.service_type < b.service_type;
}

}  // namespace

std::vector<DnssdService> BrowseServices(const std::vector<std::string>& types,
                                         Deadline deadline) {
  std::unique_ptr<AvahiSimplePoll, decltype(&avahi_simple_poll_free)> poll(
      avahi_simple_poll_new(), &avahi_simple_poll_free);
  if (!poll) return {};
  Browsing browsing;
  int error = 0;
  // Without a daemon (or a system bus) this fails at once.
  std::unique_ptr<AvahiClient, decltype(&avahi_client_free)> client(
      avahi_client_new(avahi_simple_poll_get(poll.get()),
                       static_cast<AvahiClientFlags>(0), nullptr, nullptr,
                       &error),
      &avahi_client_free);
  if (!client) return {};
  for (const std::string& type : types) {
    if (avahi_service_browser_new(client.get(), AVAHI_IF_UNSPEC,
                                  AVAHI_PROTO_UNSPEC, type.c_str(), nullptr,
                                  static_cast<AvahiLookupFlags>(0), &Browsed,
                                  &browsing) != nullptr) {
      ++browsing.second;
    }
  }
  // Until every browser has said it has nothing more for now and every
  // service it named is resolved, or the deadline.
  while (browsing.second > 0) {
    const int left = MillisecondsLeft(deadline);
    if (left <= 0 || avahi_simple_poll_iterate(poll.get(), left) != 0) break;
  }
  // Freeing the client frees its browsers and any resolver still running.
  client.reset();

  std::vector<DnssdService>& found = browsing.first;
  std::stable_sort(found.begin(), found.end(), &InstanceOrder);
  found.erase(std::unique(found.begin(), found.end(), &SameInstance),
              found.end());
  return found;
}
