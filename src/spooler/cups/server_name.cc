// Naming the CUPS server the way a user knows it.
#include "spooler/cups/server_name.h"

#include <cups/cups.h>

#include "spooler/cups/utf8_text.h"

namespace {

wchar_t AsciiLower(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

std::wstring CupsServerName() {
  // cupsServer() is a socket path, or a host name without its port.
  const char* server = cupsServer();
  const std::string host =
      server == nullptr || server[0] == '\0' || server[0] == '/' ? "localhost"
                                                                 : server;
  return L"\\\\" + WideFromUtf8(host);
}

bool IsCupsServerName(LPCWSTR name) {
  if (name == nullptr) return false;
  const std::wstring server = CupsServerName();
  std::size_t i = 0;
  for (; i < server.size(); ++i) {
    if (name[i] == L'\0' || AsciiLower(name[i]) != AsciiLower(server[i])) {
      return false;
    }
  }
  return name[i] == L'\0';
}
