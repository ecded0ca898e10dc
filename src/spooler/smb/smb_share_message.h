// How a listing travels from the process that made it to the caller's: each
// share as its name and its comment, each ended by a NUL byte, then one more
// NUL (a share name is never empty).
#ifndef QUELVARO_SPOOLER_SMB_SMB_SHARE_MESSAGE_H
#define QUELVARO_SPOOLER_SMB_SMB_SHARE_MESSAGE_H

#include <optional>
#include <string>
#include <vector>

// One printer share, as the server lists it.
struct SmbShare {
  std::string name;
  std::string comment;
};

inline bool operator==(const SmbShare& a, const SmbShare& b) {
  return a.name == b.name && a.comment == b.comment;
}
using SmbShareList = std::vector<SmbShare>;

// The message for shares. A share with an empty name, or a NUL byte in its
// name or comment, cannot be told apart in it and is left out.
std::string EncodeSmbShareMessage(const SmbShareList& shares);

// The shares of a whole message; empty optional while message is not one
// yet (cut short, or more bytes after its end).
std::optional<SmbShareList> DecodeSmbShareMessage(const std::string& message);

// The message of a listing that could not run (run_failure.h: libsmbclient
// installed but not loadable, no process to list in, no memory): a NUL,
// the reason, a NUL, which no share list's message is. Its reason, once
// whole; none for any other message.
std::string EncodeSmbFailureMessage(const char* reason);
std::optional<std::string> DecodeSmbFailureMessage(const std::string& message);

#endif  // QUELVARO_SPOOLER_SMB_SMB_SHARE_MESSAGE_H
