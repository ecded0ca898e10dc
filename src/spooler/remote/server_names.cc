// Print servers' "\\" names.
#include "spooler/remote/server_names.h"

#include "spooler/ascii_case.h"
#include "spooler/device_uri.h"
#include "spooler/utf8_text.h"

namespace {

std::wstring HostPart(const std::string& host) {
  std::string written = host;
  if (written.size() > 1 && written.back() == '.') written.pop_back();
  return WideFromUtf8(written);
}

}  // namespace

std::wstring IppServerName(const std::string& host, int port) {
  std::wstring name = L"\\\\" + HostPart(host);
  if (port != kIppPort) name += L":" + std::to_wstring(port);
  return name;
}

std::wstring SmbServerName(const std::string& host) {
  return L"\\\\" + HostPart(host);
}

bool IsSameServerName(LPCWSTR name, const std::wstring& server) {
  return name != nullptr && AsciiLower(name) == AsciiLower(server);
}
