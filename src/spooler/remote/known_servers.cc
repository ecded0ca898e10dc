// Collecting the print servers a run knows of.
#include "spooler/remote/known_servers.h"

#include "spooler/cups/cups_server.h"
#include "spooler/cups/queue_view.h"
#include "spooler/device_uri.h"
#include "spooler/dnssd/network_printers.h"
#include "spooler/ipp/ipp_printers.h"
#include "spooler/remote/server_names.h"
#include "spooler/utf8_text.h"

namespace {

bool IsIppScheme(const std::string& scheme) {
  return scheme == "ipp" || scheme == "ipps" || scheme == "http" ||
         scheme == "https";
}

// Adds uri to the server of that name, which is added when new.
void AddServer(std::vector<KnownServer>& servers, const std::wstring& name,
               const std::string& uri) {
  for (KnownServer& server : servers) {
    if (!IsSameServerName(server.name.c_str(), name)) continue;
    for (const std::string& known : server.uris) {
      if (known == uri) return;
    }
    if (!uri.empty()) server.uris.push_back(uri);
    return;
  }
  servers.push_back({name, {}});
  if (!uri.empty()) servers.back().uris.push_back(uri);
}

}  // namespace

std::vector<KnownServer> ServersOf(const std::wstring& own_server,
                                   const std::vector<std::string>& device_uris,
                                   const std::vector<DnssdService>& discovered) {
  std::vector<KnownServer> servers;
  if (!own_server.empty()) AddServer(servers, own_server, "");
  for (const std::string& uri : device_uris) {
    const std::string scheme = uri.substr(0, uri.find(':'));
    if (scheme == "smb") {
      // Only the server: no user, no password, no workgroup, no share.
      const std::string server = SmbUriServer(uri);
      if (!server.empty()) {
        AddServer(servers, SmbServerName(server), "smb://" + server);
      }
      continue;
    }
    const std::string host = UriHost(uri);
    const int port = UriPort(uri);
    if (!IsIppScheme(scheme) || host.empty() || port == 0) continue;
    AddServer(servers, IppServerName(host, port), UriWithoutCredentials(uri));
  }
  for (const DnssdService& service : discovered) {
    const std::string& host = service.host_name;
    if (service.service_type == "_smb._tcp") {
      AddServer(servers, SmbServerName(host), "smb://" + service.address);
      continue;
    }
    if (!IsSharedQueue(service)) continue;
    AddServer(servers, IppServerName(host, service.port),
              ServiceUri(service, "ipp", service.address));
  }
  return servers;
}

const std::vector<KnownServer>& KnownServers() {
  static const std::vector<KnownServer> servers = [] {
    const std::optional<PrinterList>& view = CupsQueueView();
    // The remote queues' device URIs, and the SMB ones of all queues (CUPS
    // takes a queue on an SMB share for one of its own).
    std::vector<std::string> device_uris;
    if (view) {
      for (const PrinterRecord& queue : view->printers) {
        if (queue.level2.pPortName == nullptr) continue;
        const std::string uri = Utf8FromWide(queue.level2.pPortName);
        if (IsRemotePrinter(queue) || uri.compare(0, 4, "smb:") == 0) {
          device_uris.push_back(uri);
        }
      }
    }
    return ServersOf(view ? CupsServerName() : std::wstring(), device_uris,
                     DiscoveredServices());
  }();
  return servers;
}
