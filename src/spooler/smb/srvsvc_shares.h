// The server service's share list (srvsvc NetShareEnumAll, information
// level 1: name, type, comment), asked and read as NDR stubs. Names and
// comments come as the server sends them, whatever their length, in UTF-16,
// and are given back in UTF-8.
#ifndef QUELVARO_SPOOLER_SMB_SRVSVC_SHARES_H
#define QUELVARO_SPOOLER_SMB_SRVSVC_SHARES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "spooler/smb/rpc_pdu.h"
#include "spooler/smb/smb_share_message.h"

// srvsvc 3.0, 4b324fc8-1670-01d3-1278-5a47bf6ee188.
extern const RpcInterface kSrvsvc;
const std::uint16_t kNetShareEnumAll = 15;

// What an answer's status says.
const std::uint32_t kShareEnumDone = 0;
const std::uint32_t kShareEnumMoreData = 234;  // ERROR_MORE_DATA

// The request's stub: every share the server has room for in one answer,
// from resume_handle on (0 for the first).
std::string ShareEnumRequestStub(std::uint32_t resume_handle);

// One answer: its printer shares (type 1, a print queue, exactly as
// libsmbclient tells them from the rest), in the server's order, with the
// status and the handle to ask on from.
struct ShareEnumAnswer {
  SmbShareList printers;
  std::uint32_t status;
  std::uint32_t resume_handle;
};

// The answer's stub read; none when it is not one at level 1, or runs past
// its end. A share without a name is left out. A name or comment ends at its
// first NUL; a lone surrogate becomes U+FFFD.
std::optional<ShareEnumAnswer> ReadShareEnumAnswer(std::string_view stub);

#endif  // QUELVARO_SPOOLER_SMB_SRVSVC_SHARES_H
