// Fuzz target: the bytes of an SMB server's answer to the share list,
// read as a DCE/RPC PDU and as the NDR stub it carries: nothing is read
// from outside the bytes (AddressSanitizer), and every printer share read
// has a name, and a name and comment of UTF-8 without a NUL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "layout_check.h"
#include "spooler/smb/rpc_pdu.h"
#include "spooler/smb/srvsvc_shares.h"
#include "utf8.h"

namespace {

void CheckText(const std::string& text) {
  if (text.find('\0') != std::string::npos) Fault("a NUL inside a name or comment");
  if (!DecodeUtf8(text)) Fault("a name or comment that is not UTF-8");
}

void CheckAnswer(std::string_view stub) {
  const std::optional<ShareEnumAnswer> answer = ReadShareEnumAnswer(stub);
  if (!answer) return;
  for (const SmbShare& share : answer->printers) {
    if (share.name.empty()) Fault("a share without a name");
    CheckText(share.name);
    CheckText(share.comment);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckAnswer(bytes);
  if (const std::optional<std::string_view> stub = RpcResponseStub(bytes)) {
    CheckAnswer(*stub);
  }
  RpcBindAccepted(bytes);
  return 0;
}
