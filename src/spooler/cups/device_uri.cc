// Splitting "scheme://userinfo@host:port/path" far enough to drop the
// credentials and find the host.
#include "spooler/cups/device_uri.h"

namespace {

// Where the authority starts: just after the "//" that follows the scheme's
// colon; npos when the URI has no authority.
std::size_t AuthorityStart(const std::string& uri) {
  const std::size_t colon = uri.find(':');
  if (colon == std::string::npos || uri.compare(colon + 1, 2, "//") != 0) {
    return std::string::npos;
  }
  return colon + 3;
}

// Where the host starts: after the last '@' before the query or fragment.
// Device URIs are not always well formed, and a password with an unescaped
// '/' in it must not leak into the path, so the search does not stop at the
// first '/'.
std::size_t HostStart(const std::string& uri, std::size_t start) {
  std::size_t stop = uri.find_first_of("?#", start);
  if (stop == std::string::npos) stop = uri.size();
  for (std::size_t at = stop; at > start; --at) {
    if (uri[at - 1] == '@') return at;
  }
  return start;
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
