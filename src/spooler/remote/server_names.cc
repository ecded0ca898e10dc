// Print servers' "\\" names.
#include "spooler/remote/server_names.h"

#include "spooler/utf8_text.h"

namespace {

const int kIppPort = 631;

wchar_t AsciiLower(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

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
  if (name == nullptr) return false;
  std::size_t i = 0;
  for (; i < server.size(); ++i) {
    if (name[i] == L'\0' || AsciiLower(name[i]) != AsciiLower(server[i])) {
      return false;
    }
  }
  return name[i] == L'\0';
}
