// DCE/RPC PDUs, as laid out on the wire.
#include "spooler/smb/rpc_pdu.h"

#include "spooler/smb/rpc_bytes.h"

namespace {

// The PDU types a client sends.
const std::uint8_t kRpcRequest = 0;
const std::uint8_t kRpcBind = 11;

// PFC_FIRST_FRAG | PFC_LAST_FRAG: every PDU the client sends is whole.
const std::uint8_t kWholeFragment = 0x03;
const std::uint8_t kLastFragment = 0x02;

// NDR 2.0, the transfer syntax offered.
const RpcInterface kNdr = {{0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11,
                            0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60},
                           2,
                           0};

// The common header, with the fragment length still to be set.
std::string Header(std::uint8_t type, std::uint32_t call_id) {
  std::string pdu = {5, 0, static_cast<char>(type), kWholeFragment};
  // Data representation: little-endian integers, ASCII, IEEE floats.
  pdu += std::string("\x10\x00\x00\x00", 4);
  AppendUint16(pdu, 0);  // fragment length, set by Finish
  AppendUint16(pdu, 0);  // no authentication
  AppendUint32(pdu, call_id);
  return pdu;
}

std::string Finish(std::string pdu) {
  const std::size_t length = pdu.size();
  pdu[8] = static_cast<char>(length & 0xFF);
  pdu[9] = static_cast<char>(length >> 8);
  return pdu;
}

void AppendSyntax(std::string& pdu, const RpcInterface& syntax) {
  pdu.append(reinterpret_cast<const char*>(syntax.uuid), sizeof syntax.uuid);
  AppendUint16(pdu, syntax.major_version);
  AppendUint16(pdu, syntax.minor_version);
}

}  // namespace

std::string RpcBind(std::uint32_t call_id, const RpcInterface& interface) {
  std::string pdu = Header(kRpcBind, call_id);
  AppendUint16(pdu, kRpcFragmentBytes);  // longest fragment sent
  AppendUint16(pdu, kRpcFragmentBytes);  // longest fragment taken
  AppendUint32(pdu, 0);                  // a new association group
  // One presentation context, 0: the interface in NDR.
  pdu += std::string("\x01\x00\x00\x00", 4);
  AppendUint16(pdu, 0);
  pdu += std::string("\x01\x00", 2);
  AppendSyntax(pdu, interface);
  AppendSyntax(pdu, kNdr);
  return Finish(pdu);
}

std::string RpcRequest(std::uint32_t call_id, std::uint16_t operation,
                       std::string_view stub) {
  std::string pdu = Header(kRpcRequest, call_id);
  AppendUint32(pdu, static_cast<std::uint32_t>(stub.size()));  // alloc hint
  AppendUint16(pdu, 0);  // presentation context
  AppendUint16(pdu, operation);
  pdu += stub;
  return Finish(pdu);
}

std::optional<RpcHeader> ReadRpcHeader(std::string_view bytes) {
  if (bytes.size() < kRpcHeaderBytes || bytes[0] != 5 || bytes[1] != 0 ||
      (static_cast<unsigned char>(bytes[4]) & 0xF0) != 0x10 ||
      Uint16At(bytes, 10) != 0) {
    return std::nullopt;
  }
  RpcHeader header;
  header.type = static_cast<std::uint8_t>(bytes[2]);
  header.last_fragment = (bytes[3] & kLastFragment) != 0;
  header.fragment_length = Uint16At(bytes, 8);
  header.call_id = Uint32At(bytes, 12);
  if (header.fragment_length < kRpcHeaderBytes) return std::nullopt;
  return header;
}

bool RpcBindAccepted(std::string_view pdu) {
  const std::optional<RpcHeader> header = ReadRpcHeader(pdu);
  // After the header: the fragment sizes, the association group, and the
  // secondary address (a counted string), padded to four bytes.
  if (!header || header->type != kRpcBindAck || pdu.size() < 26) return false;
  std::size_t at = 26 + Uint16At(pdu, 24);
  at = (at + 3) & ~static_cast<std::size_t>(3);
  // The result list: its count, padding, then the first result's code (0:
  // accepted), its reason and transfer syntax.
  if (pdu.size() < at + 6) return false;
  return pdu[at] != 0 && Uint16At(pdu, at + 4) == 0;
}

std::optional<std::string_view> RpcResponseStub(std::string_view pdu) {
  const std::optional<RpcHeader> header = ReadRpcHeader(pdu);
  // After the header: the allocation hint, the context and the cancel
  // count.
  const std::size_t stub_at = kRpcHeaderBytes + 8;
  if (!header || header->type != kRpcResponse || pdu.size() < stub_at) {
    return std::nullopt;
  }
  return pdu.substr(stub_at);
}
