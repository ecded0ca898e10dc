// A listing as the caller sees it: a pipe from the child the starter forked.
#include "spooler/smb/smb_shares.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "spooler/run_failure.h"
#include "spooler/run_limits.h"

SmbListing StartSmbListing(const SmbStarter& starter, const std::string& server,
                           Deadline deadline) {
  SmbListing listing;
  if (MillisecondsLeft(deadline) <= 0) return listing;
  int ends[2];
  // Close-on-exec: a program that another thread starts meanwhile must not
  // hold the pipe open. The reading end does not block: the caller's loop
  // reads it.
  if (pipe2(ends, O_CLOEXEC) != 0) return listing;
  const bool asked = fcntl(ends[0], F_SETFL, O_NONBLOCK) == 0 &&
                     AskSmbStarter(starter, server, deadline, ends[1]);
  close(ends[1]);
  if (!asked) {
    close(ends[0]);
    return listing;
  }
  listing.pipe = ends[0];
  listing.starter = starter;
  return listing;
}

bool ReadSmbListing(SmbListing& listing) {
  if (listing.pipe < 0) return true;
  // What the pipe has, kPiecesAtOnce pieces at most a turn; a message can
  // only be whole when it ends with a NUL byte, so only then is it read
  // through.
  for (int pieces = 0; pieces < kPiecesAtOnce; ++pieces) {
    char buffer[kSmbPieceBytes];
    const ssize_t n = read(listing.pipe, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return false;
    if (n <= 0) return true;  // the child is gone, or the pipe failed
    listing.message.append(buffer, static_cast<std::size_t>(n));
    if (listing.message.size() > kMostShareListBytes) {
      listing.message.clear();  // too large: nothing
      return true;
    }
    if (listing.message.back() == '\0' &&
        (DecodeSmbShareMessage(listing.message) ||
         DecodeSmbFailureMessage(listing.message))) {
      return true;
    }
  }
  return false;
}

std::optional<SmbShareList> EndSmbListing(SmbListing& listing) {
  if (listing.pipe < 0) return std::nullopt;
  close(listing.pipe);
  listing.pipe = -1;
  if (const std::optional<std::string> reason =
          DecodeSmbFailureMessage(listing.message)) {
    throw MakeRunFailure(reason->c_str());
  }
  std::optional<SmbShareList> shares = DecodeSmbShareMessage(listing.message);
  // Nothing said: the server gave nothing (or the deadline came), unless
  // the child went with its starter.
  if (!shares && HasSmbStarterEnded(listing.starter)) {
    throw MakeRunFailure(kSmbStarterEnded);
  }
  return shares;
}

std::optional<SmbShareList> ListSmbPrinterShares(const SmbStarter& starter,
                                                 const std::string& server,
                                                 Deadline deadline) {
  SmbListing listing = StartSmbListing(starter, server, deadline);
  while (listing.pipe >= 0) {
    pollfd readable = {listing.pipe, POLLIN, 0};
    const int ready = poll(&readable, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || ReadSmbListing(listing)) break;
  }
  return EndSmbListing(listing);
}
