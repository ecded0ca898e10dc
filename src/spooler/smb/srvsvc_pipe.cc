// DCE/RPC over a pipe that libsmbclient reads and writes as a file. Each
// write is one message of the pipe, one PDU. A read is another matter:
// libsmbclient goes on reading a file until it has every byte it asked for
// or a read gives none, and a read larger than the server takes at once
// becomes several requests sent together. On a pipe a request for bytes the
// server has not sent waits until the timeout. So each read asks for no
// more than the PDU still owes (its header first, for its length), in
// pieces of 4 KiB, which every server takes in one request.
#include "spooler/smb/srvsvc_pipe.h"

#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "spooler/run_limits.h"
#include "spooler/smb/rpc_pdu.h"
#include "spooler/smb/srvsvc_shares.h"

namespace {

bool WritePdu(const SmbPipe& pipe, const std::string& pdu) {
  return pipe.write(pipe.context, pipe.file, pdu.data(), pdu.size()) ==
         static_cast<ssize_t>(pdu.size());
}

bool ReadExactly(const SmbPipe& pipe, std::size_t bytes, std::string& into) {
  char buffer[kSmbPieceBytes];
  while (bytes > 0) {
    const std::size_t asked = std::min(bytes, sizeof buffer);
    const ssize_t got = pipe.read(pipe.context, pipe.file, buffer, asked);
    if (got <= 0 || static_cast<std::size_t>(got) > asked) return false;
    into.append(buffer, static_cast<std::size_t>(got));
    bytes -= static_cast<std::size_t>(got);
  }
  return true;
}

// One whole PDU.
std::optional<std::string> ReadPdu(const SmbPipe& pipe) {
  std::string pdu;
  if (!ReadExactly(pipe, kRpcHeaderBytes, pdu)) return std::nullopt;
  const std::optional<RpcHeader> header = ReadRpcHeader(pdu);
  if (!header ||
      !ReadExactly(pipe, header->fragment_length - kRpcHeaderBytes, pdu)) {
    return std::nullopt;
  }
  return pdu;
}

// The stub of the answer to one NetShareEnumAll call, from all its
// fragments; `budget` is what the answers may still hold.
std::optional<std::string> CallShareEnum(const SmbPipe& pipe,
                                         std::uint32_t call_id,
                                         std::uint32_t resume_handle,
                                         std::size_t& budget) {
  const std::string request = RpcRequest(call_id, kNetShareEnumAll,
                                         ShareEnumRequestStub(resume_handle));
  if (!WritePdu(pipe, request)) return std::nullopt;
  std::string stub;
  for (;;) {
    const std::optional<std::string> pdu = ReadPdu(pipe);
    if (!pdu) return std::nullopt;
    const std::optional<std::string_view> part = RpcResponseStub(*pdu);
    const std::optional<RpcHeader> header = ReadRpcHeader(*pdu);
    if (!part || header->call_id != call_id || part->size() > budget) {
      return std::nullopt;
    }
    budget -= part->size();
    stub += *part;
    if (header->last_fragment) return stub;
  }
}

}  // namespace

std::optional<SmbShareList> ListSharesOnPipe(const SmbPipe& pipe) {
  std::uint32_t call_id = 1;
  if (!WritePdu(pipe, RpcBind(call_id, kSrvsvc))) return std::nullopt;
  const std::optional<std::string> ack = ReadPdu(pipe);
  if (!ack || !RpcBindAccepted(*ack)) return std::nullopt;

  SmbShareList printers;
  std::size_t budget = kMostShareListBytes;
  std::uint32_t resume_handle = 0;
  for (;;) {
    const std::optional<std::string> stub =
        CallShareEnum(pipe, ++call_id, resume_handle, budget);
    if (!stub) return std::nullopt;
    std::optional<ShareEnumAnswer> answer = ReadShareEnumAnswer(*stub);
    if (!answer) return std::nullopt;
    std::move(answer->printers.begin(), answer->printers.end(),
              std::back_inserter(printers));
    if (answer->status == kShareEnumDone) return printers;
    // Asked for everything at once, a server still may stop short: asked
    // again from where it left off, as long as it moves on.
    if (answer->status != kShareEnumMoreData ||
        answer->resume_handle == resume_handle) {
      return std::nullopt;
    }
    resume_handle = answer->resume_handle;
  }
}
