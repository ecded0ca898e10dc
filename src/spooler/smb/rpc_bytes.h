// Little-endian integers as DCE/RPC lays them out (the client asks for its
// data in little-endian order, and reads nothing else).
#ifndef QUELVARO_SPOOLER_SMB_RPC_BYTES_H
#define QUELVARO_SPOOLER_SMB_RPC_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline void AppendUint16(std::string& bytes, std::uint16_t value) {
  bytes += static_cast<char>(value & 0xFF);
  bytes += static_cast<char>(value >> 8);
}

inline void AppendUint32(std::string& bytes, std::uint32_t value) {
  AppendUint16(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
  AppendUint16(bytes, static_cast<std::uint16_t>(value >> 16));
}

// The value at `at`, which the caller has made sure is inside bytes.
inline std::uint16_t Uint16At(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(
      static_cast<unsigned char>(bytes[at]) |
      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

inline std::uint32_t Uint32At(std::string_view bytes, std::size_t at) {
  return Uint16At(bytes, at) |
         static_cast<std::uint32_t>(Uint16At(bytes, at + 2)) << 16;
}

#endif  // QUELVARO_SPOOLER_SMB_RPC_BYTES_H
