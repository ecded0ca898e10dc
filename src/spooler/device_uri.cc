// Splitting "scheme://userinfo@host:port/path" far enough to drop the
// credentials and find the host.
#include "spooler/device_uri.h"

namespace {

// Where the authority starts: just after the first "//", which follows the
// scheme's colon in a well-formed URI (and is taken as the start all the
// same in one that is not, so that nothing after it can show credentials);
// npos when the URI has no authority.
std::size_t AuthorityStart(const std::string& uri) {
  const std::size_t slashes = uri.find("//");
  return slashes == std::string::npos ? slashes : slashes + 2;
}

// Where the host starts: after the last '@' of the URI. Device URIs are not
// always well formed: a password may hold an unescaped '/', '?', '#' or
// '@', so no character can be taken to end the user information before the
// last '@' does. An '@' in a path or query costs the URI what stands before
// it, never a password.
std::size_t HostStart(const std::string& uri, std::size_t start) {
  const std::size_t at = uri.rfind('@');
  return at == std::string::npos || at < start ? start : at + 1;
}

}  // namespace

std::string UriWithoutCredentials(const std::string& uri) {
  const std::size_t start = AuthorityStart(uri);
  if (start == std::string::npos) return uri;
  return uri.substr(0, start) + uri.substr(HostStart(uri, start));
}

std::string UriHost(const std::string& uri) {
  const std::size_t start = AuthorityStart(uri);
  if (start == std::string::npos) return std::string();
  const std::size_t host = HostStart(uri, start);
  std::size_t end = uri.find_first_of("/?#", host);
  if (end == std::string::npos) end = uri.size();
  const std::string authority = uri.substr(host, end - host);
  if (!authority.empty() && authority[0] == '[') {
    // An IPv6 literal keeps its brackets; a port may follow them.
    const std::size_t close = authority.find(']');
    return close == std::string::npos ? authority
                                      : authority.substr(0, close + 1);
  }
  return authority.substr(0, authority.find(':'));
}

int UriPort(const std::string& uri) {
  const std::size_t start = AuthorityStart(uri);
  if (start == std::string::npos) return 0;
  const std::size_t host = HostStart(uri, start);
  std::size_t end = uri.find_first_of("/?#", host);
  if (end == std::string::npos) end = uri.size();
  std::string authority = uri.substr(host, end - host);
  if (!authority.empty() && authority[0] == '[') {
    const std::size_t close = authority.find(']');
    authority = close == std::string::npos ? "" : authority.substr(close + 1);
  }
  const std::size_t colon = authority.find(':');
  if (colon != std::string::npos && colon + 1 < authority.size() &&
      authority.size() - colon <= 6) {
    int port = 0;
    for (std::size_t i = colon + 1; i < authority.size(); ++i) {
      if (authority[i] < '0' || authority[i] > '9') return 0;
      port = port * 10 + (authority[i] - '0');
    }
    return port > 0 && port <= 65535 ? port : 0;
  }
  const std::string scheme = uri.substr(0, uri.find(':'));
  if (scheme == "ipp" || scheme == "ipps") return kIppPort;
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  return 0;
}

std::string UriResource(const std::string& uri) {
  const std::size_t start = AuthorityStart(uri);
  if (start == std::string::npos) return "/";
  const std::size_t path = uri.find('/', HostStart(uri, start));
  if (path == std::string::npos) return "/";
  return uri.substr(path, uri.find('#', path) - path);
}

bool IsSmbUri(const std::string& uri) { return uri.compare(0, 4, "smb:") == 0; }

std::string SmbUriServer(const std::string& uri) {
  const std::string host = UriHost(uri);
  const std::string path = UriResource(uri).substr(1);
  const std::size_t slash = path.find('/');
  // A workgroup, then the server and the share.
  if (slash != std::string::npos && slash > 0 && slash + 1 < path.size()) {
    return path.substr(0, slash);
  }
  return host;
}
