// A print server's SMB listings: one child process for each SMB server
// name it is known by, each read as its pipe has something, and the shares
// each found, as printers.
#ifndef QUELVARO_SPOOLER_REMOTE_SHARE_LISTINGS_H
#define QUELVARO_SPOOLER_REMOTE_SHARE_LISTINGS_H

#include <string>
#include <vector>

#include "spooler/deadline.h"
#include "spooler/net/poll_set.h"
#include "spooler/printer_records.h"
#include "spooler/smb/smb_shares.h"

// One SMB listing of the server's.
struct ShareListing {
  std::string uri;       // the "smb://" URI it was started for
  std::string host;      // the host of that URI
  SmbListing listing;
  bool over = false;
  PrinterList shares;    // what it found, as printers
};

// Starts the listing of uri's host by the deadline, unless one of that host
// (compared without case) is there already. Nothing is started once the
// deadline has passed: the listing is over at once, with nothing.
void StartShareListing(std::vector<ShareListing>& listings,
                       const SmbStarter& starter, const std::string& uri,
                       Deadline deadline, Deadline now);

// What the listings under way wait for.
void ShareListingPolls(const std::vector<ShareListing>& listings, PollSet& set);

// Reads every listing whose pipe the wait found ready, and ends those that
// are over. Pipes are only closed here, never opened.
void ContinueShareListings(std::vector<ShareListing>& listings,
                           const PollSet& set);

// Ends every listing still under way, as it stands.
void EndShareListings(std::vector<ShareListing>& listings);

bool AreShareListingsOver(const std::vector<ShareListing>& listings);

#endif  // QUELVARO_SPOOLER_REMOTE_SHARE_LISTINGS_H
