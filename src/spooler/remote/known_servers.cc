// Collecting the print servers a run knows of.
#include "spooler/remote/known_servers.h"

#include <algorithm>
#include <map>

#include "spooler/ascii_case.h"
#include "spooler/device_uri.h"
#include "spooler/dnssd/network_printers.h"
#include "spooler/ipp/ipp_printers.h"
#include "spooler/net/host_text.h"
#include "spooler/remote/server_names.h"
#include "spooler/utf8_text.h"

namespace {

bool IsIppScheme(const std::string& scheme) {
  return scheme == "ipp" || scheme == "ipps" || scheme == "http" ||
         scheme == "https";
}

// The servers being collected, and where each is by its AsciiLower name.
struct ServerList {
  std::vector<KnownServer> servers;
  std::map<std::wstring, std::size_t> by_name;
};

// Adds uri (when not empty, and not there yet) to the server of that name
// (names compared without case), which is added when new.
void AddServer(ServerList& list, const std::wstring& name,
               const std::string& uri) {
  const auto [known, added] =
      list.by_name.emplace(AsciiLower(name), list.servers.size());
  if (added) list.servers.push_back({name, {}});
  std::vector<std::string>& uris = list.servers[known->second].uris;
  if (!uri.empty() && std::find(uris.begin(), uris.end(), uri) == uris.end()) {
    uris.push_back(uri);
  }
}

// A URI built from what discovery found, its '@'s written "%40": a URI's
// host is taken after its last '@' (device_uri.h), and a queue's name may
// hold one (CUPS allows it); the address before them holds none.
std::string WithAtsEscaped(const std::string& uri) {
  std::string escaped;
  for (const char c : uri) {
    if (c == '@') {
      escaped += "%40";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::optional<KnownServer> ServerOfDeviceUri(const std::string& uri) {
  const std::string scheme = uri.substr(0, uri.find(':'));
  if (scheme == "smb") {
    const std::string server = SmbUriServer(uri);
    if (server.empty()) return std::nullopt;
    return KnownServer{SmbServerName(server), {"smb://" + server}};
  }
  const std::string host = UriHost(uri);
  const int port = UriPort(uri);
  if (!IsIppScheme(scheme) || host.empty() || port == 0) return std::nullopt;
  return KnownServer{IppServerName(host, port), {UriWithoutCredentials(uri)}};
}

std::optional<KnownServer> ServerOfService(const DnssdService& service) {
  if (!service.resolved) return std::nullopt;
  if (service.service_type == "_smb._tcp") {
    return KnownServer{SmbServerName(service.host_name),
                       {"smb://" + Bracketed(service.address)}};
  }
  if (!IsSharedQueue(service)) return std::nullopt;
  const char* scheme = service.service_type == "_ipps._tcp" ? "ipps" : "ipp";
  return KnownServer{IppServerName(service.host_name, service.port),
                     {WithAtsEscaped(ServiceUri(service, scheme, service.address))}};
}

std::vector<std::string> ServerDeviceUris(const PrinterList& view) {
  std::vector<std::string> device_uris;
  for (const PrinterRecord& queue : view.printers) {
    if (queue.level2.pPortName == nullptr) continue;
    const std::string uri = Utf8FromWide(queue.level2.pPortName);
    if (IsRemotePrinter(queue) || IsSmbUri(uri)) {
      device_uris.push_back(uri);
    }
  }
  return device_uris;
}

std::vector<KnownServer> ServersOf(const std::optional<std::wstring>& own_server,
                                   const std::vector<std::string>& device_uris,
                                   const std::vector<DnssdService>& discovered) {
  ServerList list;
  if (own_server) AddServer(list, *own_server, "");
  for (const std::string& uri : device_uris) {
    if (std::optional<KnownServer> server = ServerOfDeviceUri(uri)) {
      AddServer(list, server->name, server->uris.front());
    }
  }
  for (const DnssdService& service : discovered) {
    if (std::optional<KnownServer> server = ServerOfService(service)) {
      AddServer(list, server->name, server->uris.front());
    }
  }
  return std::move(list.servers);
}
