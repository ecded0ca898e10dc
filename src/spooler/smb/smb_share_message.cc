// The listing's message between the listing process and the caller.
#include "spooler/smb/smb_share_message.h"

std::string EncodeSmbShareMessage(const SmbShareList& shares) {
  std::string message;
  for (const auto& [name, comment] : shares) {
    if (name.empty() || name.find('\0') != std::string::npos ||
        comment.find('\0') != std::string::npos) {
      continue;
    }
    message += name;
    message += '\0';
    message += comment;
    message += '\0';
  }
  message += '\0';
  return message;
}

std::optional<SmbShareList> DecodeSmbShareMessage(const std::string& message) {
  SmbShareList shares;
  std::size_t at = 0;
  for (;;) {
    const std::size_t name_end = message.find('\0', at);
    if (name_end == std::string::npos) return std::nullopt;
    if (name_end == at) {
      // The closing NUL, which must be the last byte.
      if (name_end + 1 != message.size()) return std::nullopt;
      return shares;
    }
    const std::size_t comment_end = message.find('\0', name_end + 1);
    if (comment_end == std::string::npos) return std::nullopt;
    shares.push_back({message.substr(at, name_end - at),
                      message.substr(name_end + 1, comment_end - name_end - 1)});
    at = comment_end + 1;
  }
}

std::string EncodeSmbFailureMessage(const char* reason) {
  std::string message(1, '\0');
  message += reason;  // a C string: no NUL inside
  message += '\0';
  return message;
}

std::optional<std::string> DecodeSmbFailureMessage(const std::string& message) {
  if (message.size() < 3 || message.front() != '\0' || message.back() != '\0') {
    return std::nullopt;
  }
  std::string reason = message.substr(1, message.size() - 2);
  if (reason.empty() || reason.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return reason;
}
