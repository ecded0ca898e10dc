// Domain names, their labels and their escapes.
#include "spooler/dnssd/dns_names.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::vector<std::string>> NameLabels(const std::string& written) {
  std::vector<std::string> labels;
  std::string label;
  std::size_t at = 0;
  while (at < written.size()) {
    const char c = written[at++];
    if (c == '.') {
      if (label.empty()) return std::nullopt;
      labels.push_back(std::move(label));
      label.clear();
      continue;
    }
    if (c != '\\') {
      label += c;
      continue;
    }
    if (at >= written.size()) return std::nullopt;
    if (at + 3 <= written.size() && IsDigit(written[at]) &&
        IsDigit(written[at + 1]) && IsDigit(written[at + 2])) {
      const int value = (written[at] - '0') * 100 +
                        (written[at + 1] - '0') * 10 + (written[at + 2] - '0');
      if (value > 255) return std::nullopt;
      label += static_cast<char>(value);
      at += 3;
      continue;
    }
    label += written[at++];
  }
  // ares_expand_name writes no final dot; a name that ends in one is whole.
  if (!label.empty()) labels.push_back(std::move(label));
  return labels;
}

std::string DottedName(const std::vector<std::string>& labels,
                       std::size_t from) {
  std::string name;
  for (std::size_t i = from; i < labels.size(); ++i) {
    if (i > from) name += '.';
    for (const char c : labels[i]) {
      if (c == '\0') return std::string();
      if (c == '.' || c == '\\') name += '\\';
      name += c;
    }
  }
  return name;
}
