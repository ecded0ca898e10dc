// SMB listings, each in a child of the starter's, read as they come.
#include "spooler/remote/share_listings.h"

#include "spooler/ascii_case.h"
#include "spooler/device_uri.h"
#include "spooler/utf8_text.h"

namespace {

#ifdef QUELVARO_HAVE_SMB
// An SMB server's printer shares, each as the platform shows a share: the
// share's name, "name,,comment" (no driver) and the comment.
PrinterList SharesAsPrinters(const SmbShareList& shares) {
  PrinterList printers;
  std::wstring text;
  for (const auto& share : shares) {
    PRINTER_INFO_2 info = {};
    WideFromUtf8(share.name, text);
    info.pPrinterName = KeepText(printers.text, text);
    info.pShareName = info.pPrinterName;
    WideFromUtf8(share.comment, text);
    info.pComment = KeepText(printers.text, text);
    info.Attributes = PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_SHARED;
    AddPrinterRecord(printers, info, info.pComment, info.pComment);
  }
  return printers;
}
#endif

void EndListing(ShareListing& listing) {
  if (listing.over) return;
  listing.over = true;
#ifdef QUELVARO_HAVE_SMB
  if (std::optional<SmbShareList> shares = EndSmbListing(listing.listing)) {
    listing.shares = SharesAsPrinters(*shares);
  }
#endif
}

// Whether the listing's child has said all it will.
bool ReadListing(ShareListing& listing) {
#ifdef QUELVARO_HAVE_SMB
  return ReadSmbListing(listing.listing);
#else
  static_cast<void>(listing);
  return true;
#endif
}

}  // namespace

void StartShareListing(std::vector<ShareListing>& listings,
                       const SmbStarter& starter, const std::string& uri,
                       Deadline deadline, Deadline now) {
  const std::string host = UriHost(uri);
  for (const ShareListing& listed : listings) {
    if (AsciiLower(listed.host) == AsciiLower(host)) return;
  }
  ShareListing listing;
  listing.uri = uri;
  listing.host = host;
#ifdef QUELVARO_HAVE_SMB
  if (now < deadline) listing.listing = StartSmbListing(starter, host, deadline);
#else
  static_cast<void>(starter);
  static_cast<void>(deadline);
  static_cast<void>(now);
#endif
  listing.over = listing.listing.pipe < 0;
  listings.push_back(std::move(listing));
}

void ShareListingPolls(const std::vector<ShareListing>& listings, PollSet& set) {
  for (const ShareListing& listing : listings) {
    if (!listing.over) WantPoll(set, listing.listing.pipe, POLLIN);
  }
}

void ContinueShareListings(std::vector<ShareListing>& listings,
                           const PollSet& set) {
  // Each pipe was open when the wait began and is closed, if at all, only
  // after its own ready events are read: none of them is another's number.
  for (ShareListing& listing : listings) {
    if (!listing.over && ReadyEvents(set, listing.listing.pipe) != 0 &&
        ReadListing(listing)) {
      EndListing(listing);
    }
  }
}

void EndShareListings(std::vector<ShareListing>& listings) {
  for (ShareListing& listing : listings) EndListing(listing);
}

bool AreShareListingsOver(const std::vector<ShareListing>& listings) {
  for (const ShareListing& listing : listings) {
    if (!listing.over) return false;
  }
  return true;
}
