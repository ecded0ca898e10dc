// One attempt after another, until one lists, the deadline passes, or no
// way is left.
#include "spooler/smb/smb_ways.h"

#include <string>
#include <utility>
#include <vector>

#include "spooler/smb/smb_client.h"

namespace {

const int kSmbPort = 445;
const int kNetbiosPort = 139;

// Every host on 445, then every host on 139.
std::vector<SmbWay> WaysIn(const SmbServerToAsk& server) {
  std::vector<SmbWay> ways;
  for (const int port : {kSmbPort, kNetbiosPort}) {
    for (const std::string& host : server.hosts) ways.push_back({host, port});
  }
  return ways;
}

}  // namespace

std::optional<SmbShareList> ListSmbPrinterSharesHere(
    const SmbServerToAsk& server, Deadline deadline) {
  void* const library = LoadSmbClient();
  if (library == nullptr) return std::nullopt;
  const std::vector<SmbWay> ways = WaysIn(server);
  std::size_t way = 0;
  bool smb1 = false;
  // Round 0 with the user's ticket (by name only), round 1 anonymously.
  for (int round = server.by_name ? 0 : 1; round < 2; ++round) {
    while (way < ways.size() && MillisecondsLeft(deadline) > 0) {
      SmbAttempt attempt =
          ListSmbSharesOnce(library, ways[way], smb1, round == 0, deadline);
      if (attempt.outcome == kSmbListed) return std::move(attempt.shares);
      if (attempt.outcome == kSmbNotConnected) {
        ++way;
      } else if (attempt.outcome == kSmbDropped && !smb1) {
        smb1 = true;
      } else {
        break;  // connected, and refused: the next credentials, same way
      }
    }
  }
  return std::nullopt;
}
