// The PDUs of DCE/RPC's connection-oriented protocol that a client exchanges
// over a named pipe: the bind and the request it sends, the bind's answer and
// the response fragments it reads. No authentication (the pipe's SMB session
// is the only one), NDR's 32-bit transfer syntax, little-endian data.
#ifndef QUELVARO_SPOOLER_SMB_RPC_PDU_H
#define QUELVARO_SPOOLER_SMB_RPC_PDU_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An interface: its UUID in the byte order NDR sends it in, and its version.
struct RpcInterface {
  unsigned char uuid[16];
  std::uint16_t major_version;
  std::uint16_t minor_version;
};

// The PDU types a client reads.
const std::uint8_t kRpcResponse = 2;
const std::uint8_t kRpcBindAck = 12;

const std::size_t kRpcHeaderBytes = 16;

// The longest fragment the client sends and takes, as Windows' own client
// offers it.
const std::uint16_t kRpcFragmentBytes = 4280;

// What the first 16 bytes of every PDU say.
struct RpcHeader {
  std::uint8_t type;
  bool last_fragment;
  std::uint16_t fragment_length;  // of the whole PDU, these 16 bytes included
  std::uint32_t call_id;
};

// A bind to interface, offering NDR.
std::string RpcBind(std::uint32_t call_id, const RpcInterface& interface);

// A request for operation with its NDR stub, in one fragment (the stub is
// short).
std::string RpcRequest(std::uint32_t call_id, std::uint16_t operation,
                       std::string_view stub);

// The header of a PDU from its first 16 bytes; none for anything but
// DCE/RPC 5.0 with little-endian data, no authentication and a fragment
// length that covers at least the header.
std::optional<RpcHeader> ReadRpcHeader(std::string_view bytes);

// Whether a whole PDU is a bind acknowledgement that accepts the bind's one
// presentation context.
bool RpcBindAccepted(std::string_view pdu);

// The stub a whole response PDU carries; none for any other PDU (a fault
// among them).
std::optional<std::string_view> RpcResponseStub(std::string_view pdu);

#endif  // QUELVARO_SPOOLER_SMB_RPC_PDU_H
