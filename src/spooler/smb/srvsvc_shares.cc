// NetShareEnumAll's stubs. NDR aligns every integer to its size, counted
// from the stub's start, and sends what a pointer points to (a container, an
// array, each string) after everything that holds the pointer.
#include "spooler/smb/srvsvc_shares.h"

#include <cstddef>
#include <vector>

#include "spooler/smb/rpc_bytes.h"
#include "spooler/utf8_text.h"

const RpcInterface kSrvsvc = {{0xc8, 0x4f, 0x32, 0x4b, 0x70, 0x16, 0xd3, 0x01,
                               0x12, 0x78, 0x5a, 0x47, 0xbf, 0x6e, 0xe1, 0x88},
                              3,
                              0};

namespace {

const std::uint32_t kLevel = 1;
const std::uint32_t kPrintQueue = 1;  // STYPE_PRINTQ

// The referent ids of the request's two pointers (any distinct nonzero
// numbers).
const std::uint32_t kContainerReferent = 0x00020000;
const std::uint32_t kResumeReferent = 0x00020004;

// A stub being read; `failed` once anything ran past its end or made no
// sense, after which every read gives 0.
struct NdrReader {
  std::string_view stub;
  std::size_t at;
  bool failed;
};

std::uint32_t ReadUint32(NdrReader& reader) {
  reader.at = (reader.at + 3) & ~static_cast<std::size_t>(3);
  if (reader.failed || reader.at > reader.stub.size() ||
      reader.stub.size() - reader.at < 4) {
    reader.failed = true;
    return 0;
  }
  const std::uint32_t value = Uint32At(reader.stub, reader.at);
  reader.at += 4;
  return value;
}

// UTF-16LE code units as UTF-8, up to the first NUL.
std::string Utf8FromUtf16(std::string_view units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    std::uint32_t c = Uint16At(units, i);
    if (c == 0) break;
    const bool high = c >= 0xD800 && c < 0xDC00;
    const std::uint32_t next =
        i + 3 < units.size() ? Uint16At(units, i + 2) : 0;
    if (high && next >= 0xDC00 && next < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(c, text);
  }
  return text;
}

// A string ([string] uint16 *): its maximum count, offset and count, then
// that many UTF-16 code units.
std::string ReadString(NdrReader& reader) {
  ReadUint32(reader);
  const std::uint32_t offset = ReadUint32(reader);
  const std::uint32_t count = ReadUint32(reader);
  if (reader.failed || offset != 0 ||
      count > (reader.stub.size() - reader.at) / 2) {
    reader.failed = true;
    return {};
  }
  const std::string_view units = reader.stub.substr(reader.at, 2 * count);
  reader.at += 2 * std::size_t{count};
  return Utf8FromUtf16(units);
}

// One share's fixed part: its pointers and its type.
struct ShareEntry {
  std::uint32_t name;
  std::uint32_t type;
  std::uint32_t comment;
};

// The level 1 container's array of shares, and the strings after it: the
// printers among them.
SmbShareList ReadShareArray(NdrReader& reader, std::uint32_t count) {
  const std::uint32_t size = ReadUint32(reader);
  if (reader.failed || count > size ||
      count > (reader.stub.size() - reader.at) / 12) {
    reader.failed = true;
    return {};
  }
  std::vector<ShareEntry> entries(count);
  for (ShareEntry& entry : entries) {
    entry.name = ReadUint32(reader);
    entry.type = ReadUint32(reader);
    entry.comment = ReadUint32(reader);
  }
  SmbShareList printers;
  for (const ShareEntry& entry : entries) {
    SmbShare share;
    if (entry.name != 0) share.name = ReadString(reader);
    if (entry.comment != 0) share.comment = ReadString(reader);
    if (entry.type == kPrintQueue && !share.name.empty()) {
      printers.push_back(std::move(share));
    }
  }
  return printers;
}

}  // namespace

std::string ShareEnumRequestStub(std::uint32_t resume_handle) {
  std::string stub;
  AppendUint32(stub, 0);  // no server name: the server asked
  // The container, level 1, empty: count 0, no array.
  AppendUint32(stub, kLevel);
  AppendUint32(stub, kLevel);
  AppendUint32(stub, kContainerReferent);
  AppendUint32(stub, 0);
  AppendUint32(stub, 0);
  AppendUint32(stub, 0xFFFFFFFF);  // as long as the answer needs
  AppendUint32(stub, kResumeReferent);
  AppendUint32(stub, resume_handle);
  return stub;
}

std::optional<ShareEnumAnswer> ReadShareEnumAnswer(std::string_view stub) {
  NdrReader reader = {stub, 0, false};
  ShareEnumAnswer answer = {{}, 0, 0};
  const std::uint32_t level = ReadUint32(reader);
  const std::uint32_t arm = ReadUint32(reader);
  if (level != kLevel || arm != kLevel) return std::nullopt;
  if (ReadUint32(reader) != 0) {
    const std::uint32_t count = ReadUint32(reader);
    if (ReadUint32(reader) != 0) {
      answer.printers = ReadShareArray(reader, count);
    }
  }
  ReadUint32(reader);  // the total number of shares
  if (ReadUint32(reader) != 0) answer.resume_handle = ReadUint32(reader);
  answer.status = ReadUint32(reader);
  if (reader.failed) return std::nullopt;
  return answer;
}
