// TXT records' strings, read.
#include "spooler/dnssd/txt_record.h"

#include "spooler/ascii_case.h"

std::map<std::string, std::string> TxtRecordOf(
    const std::vector<std::string>& strings) {
  std::map<std::string, std::string> record;
  for (const std::string& entry : strings) {
    const std::size_t equals = entry.find('=');
    const std::string key = AsciiLower(entry.substr(0, equals));
    if (key.empty() || record.count(key) != 0) continue;
    record.emplace(key, equals == std::string::npos ? std::string()
                                                    : entry.substr(equals + 1));
  }
  return record;
}
