// The CUPS client configuration, read as libcups 2.4 reads it: the
// machine's client.conf, then the user's, then the environment, each over
// the one before.
#include "spooler/cups/cups_server.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "spooler/ascii_case.h"
#include "spooler/device_uri.h"
#include "spooler/remote/server_names.h"
#include "spooler/run_limits.h"

namespace {

const char kDefaultServerRoot[] = "/etc/cups";
const char kDefaultSocket[] = "/run/cups/cups.sock";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : value;
}

void ReadClientConfFile(const std::string& path, CupsClientSettings& settings) {
  std::ifstream conf(path);
  if (conf) ReadClientConf(conf, settings);
}

// The user running the program: $USER when that is who it is, else the
// name of the running user id, else "unknown".
std::string RunningUser() {
  std::vector<char> buffer(kUserEntryBytes);
  passwd entry = {};
  passwd* found = nullptr;
  const std::string named = Environment("USER");
  if (!named.empty() &&
      getpwnam_r(named.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_uid == getuid()) {
    return named;
  }
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr) {
    return found->pw_name;
  }
  return "unknown";
}

// The configuration, read once (on the report's thread).
const CupsClientSettings& ReadClientSettingsOnce() {
  static const CupsClientSettings settings = [] {
    CupsClientSettings read;
    std::string root = Environment("CUPS_SERVERROOT");
    if (root.empty()) root = kDefaultServerRoot;
    ReadClientConfFile(root + "/client.conf", read);
    const std::string home = Environment("HOME");
    if (!home.empty()) ReadClientConfFile(home + "/.cups/client.conf", read);
    if (const char* server = std::getenv("CUPS_SERVER")) read.server = server;
    if (const char* user = std::getenv("CUPS_USER")) read.user = user;
    if (const char* encryption = std::getenv("CUPS_ENCRYPTION")) {
      read.encryption = encryption;
    }
    if (read.server.empty()) {
      read.server = access(kDefaultSocket, R_OK) == 0 ? kDefaultSocket : "localhost";
    }
    if (read.user.empty()) read.user = RunningUser();
    return read;
  }();
  return settings;
}

int DefaultPort() {
  const int port = std::atoi(Environment("IPP_PORT").c_str());
  return port > 0 ? port : kIppPort;
}

}  // namespace

void ReadClientConf(std::istream& conf, CupsClientSettings& settings) {
  std::string line;
  while (std::getline(conf, line)) {
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) {
      if (hash > 0 && line[hash - 1] == '\\') {
        line.erase(hash - 1, 1);
      } else {
        line.erase(hash);
      }
    }
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    const std::string directive = line.substr(start, end - start);
    while (end < line.size() && IsBlank(line[end])) ++end;
    std::string value = line.substr(end);
    while (!value.empty() && IsBlank(value.back())) value.pop_back();
    if (directive.empty() || value.empty()) continue;
    const std::string word = AsciiLower(directive);
    if (word == "servername") {
      settings.server = value;
    } else if (word == "user") {
      settings.user = value;
    } else if (word == "encryption") {
      settings.encryption = value;
    }
  }
}

void SplitServerName(const std::string& value, int default_port,
                     std::string& host, int& port) {
  host = value;
  port = default_port;
  if (host.empty() || host[0] == '/') return;
  const std::size_t options = host.rfind('/');
  if (options != std::string::npos) host.erase(options);
  const std::size_t colon = host.rfind(':');
  if (colon != std::string::npos &&
      host.find(']', colon) == std::string::npos && colon + 1 < host.size() &&
      std::isdigit(static_cast<unsigned char>(host[colon + 1]))) {
    const int given = std::atoi(host.c_str() + colon + 1);
    host.erase(colon);
    if (given > 0 && given < 65536) port = given;
  }
}

std::string CupsServerHost() {
  std::string host;
  int port = 0;
  SplitServerName(ReadClientSettingsOnce().server, DefaultPort(), host, port);
  return host.empty() ? "localhost" : host;
}

int CupsServerPort() {
  std::string host;
  int port = 0;
  SplitServerName(ReadClientSettingsOnce().server, DefaultPort(), host, port);
  return port;
}

std::string CupsUser() { return ReadClientSettingsOnce().user; }

bool IsCupsServerEncrypted() {
  const std::string encryption = AsciiLower(ReadClientSettingsOnce().encryption);
  return encryption == "always" || encryption == "required";
}

bool MayUpgradeCupsServer() {
  return AsciiLower(ReadClientSettingsOnce().encryption) != "never";
}

std::wstring CupsServerName() {
  const std::string host = CupsServerHost();
  if (host[0] == '/') return L"\\\\localhost";
  return IppServerName(host, CupsServerPort());
}
