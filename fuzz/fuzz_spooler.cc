// EnumPrintersW answering from fuzz input (the format is in fuzz_spooler.h).
#include "fuzz_spooler.h"
#include "spooler/printer_info_layout.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

namespace {

const std::uint8_t* input = nullptr;
std::size_t input_size = 0;
std::size_t input_at = 0;

// The sizing call that reported bytes and waits for its filling call.
struct PendingFill {
  bool open = false;
  DWORD flags = 0;
  std::optional<std::wstring> name;
  DWORD level = 0;
  DWORD needed = 0;
};
PendingFill pending;

std::vector<FuzzedListing> listings;

// The block of the previous filling call; only its address is kept.
std::uintptr_t previous_block = 0;
std::size_t previous_size = 0;

// A name that lives outside every block the program allocates.
wchar_t outside_text[] = L"outside";

const DWORD kScopes[] = {0x02, 0x22, 0x04, 0x40, 0x60, 0x10};

// Stops the run: the program broke the sizing procedure.
void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "spooler call out of order: %s\n", what);
  __builtin_trap();
}

std::uint8_t ReadByte() {
  return input_at < input_size ? input[input_at++] : 0;
}

std::uint64_t ReadBytes(int count) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) {
    value |= static_cast<std::uint64_t>(ReadByte()) << (8 * i);
  }
  return value;
}

// Copies size bytes to offset in the block, as far as the block reaches.
void WriteClipped(LPBYTE block, DWORD cbBuf, std::size_t offset,
                  const void* bytes, std::size_t size) {
  if (offset >= cbBuf) return;
  const std::size_t room = cbBuf - offset;
  std::memcpy(block + offset, bytes, size < room ? size : room);
}

std::wstring ReadString(bool& terminated) {
  const std::uint8_t head = ReadByte();
  terminated = (head & 0x80) == 0;
  std::wstring text;
  for (int i = 0; i < (head & 0x7F); ++i) {
    const std::uint8_t b = ReadByte();
    std::uint32_t unit = b;
    if (b == 0xFF) {
      unit = static_cast<std::uint32_t>(ReadBytes(4));
    } else if (b >= 0x80) {
      unit = static_cast<std::uint32_t>(ReadBytes(2));
    }
    text.push_back(static_cast<wchar_t>(unit));
  }
  return text;
}

void WriteString(LPBYTE block, DWORD cbBuf, std::size_t offset,
                 const std::wstring& text, bool terminated) {
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() && !terminated) break;
    const wchar_t unit = i < text.size() ? text[i] : L'\0';
    WriteClipped(block, cbBuf, offset + i * sizeof(wchar_t), &unit, sizeof unit);
  }
}

// Where one edit makes a name field point; writes the string it points at.
std::uintptr_t EditedName(LPBYTE block, DWORD cbBuf) {
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
  bool terminated = true;
  switch (ReadByte() % 9) {
    case 0:
      return 0;
    case 1: {
      const std::size_t offset = ReadBytes(2) % cbBuf;
      const std::wstring text = ReadString(terminated);
      WriteString(block, cbBuf, offset, text, terminated);
      return start + offset;
    }
    case 2: {
      const std::wstring text = ReadString(terminated);
      const std::size_t bytes = text.size() * sizeof(wchar_t);
      const std::size_t offset = bytes < cbBuf ? cbBuf - bytes : 0;
      WriteString(block, cbBuf, offset, text, false);
      return start + offset;
    }
    case 3:
      return start + ReadBytes(2) % cbBuf;
    case 4:
      return start + cbBuf;
    case 5:
      return start - (ReadByte() % 4 + 1);
    case 6:
      return reinterpret_cast<std::uintptr_t>(outside_text);
    case 7: {
      const std::size_t offset = ReadBytes(2);
      if (previous_size == 0) return 0;
      return previous_block + offset % previous_size;
    }
    default:
      return static_cast<std::uintptr_t>(ReadBytes(8));
  }
}

DWORD FilledCount(DWORD level, DWORD cbBuf) {
  switch (const std::uint8_t b = ReadByte()) {
    case 0xFF: return static_cast<DWORD>(ReadBytes(4));
    case 0xFE: return 0xFFFFFFFFu;
    case 0xFD: return 0x80000000u;
    case 0xFC: return 0x7FFFFFFFu;
    case 0xFB: {
      const std::size_t record = PrinterInfoSize(level);
      return static_cast<DWORD>((record == 0 ? 0 : cbBuf / record) + 1);
    }
    default: return b;
  }
}

void Fill(DWORD level, LPBYTE block, DWORD cbBuf, LPDWORD pcReturned) {
  *pcReturned = FilledCount(level, cbBuf);

  const std::size_t raw = ReadByte();
  for (std::size_t i = 0; i < raw; ++i) {
    const std::uint8_t b = ReadByte();
    WriteClipped(block, cbBuf, i, &b, 1);
  }

  const int edits = ReadByte() % 32;
  for (int i = 0; i < edits; ++i) {
    const std::size_t k = ReadByte();
    const std::uintptr_t name = EditedName(block, cbBuf);
    const std::size_t record = PrinterInfoSize(level);
    const std::size_t at = k * record + PrinterNameOffset(level);
    if (record != 0 && at + sizeof name <= cbBuf) {
      std::memcpy(block + at, &name, sizeof name);
    }
  }

  previous_block = reinterpret_cast<std::uintptr_t>(block);
  previous_size = cbBuf;
}

bool IsScope(DWORD flags) {
  for (DWORD scope : kScopes) {
    if (flags == scope) return true;
  }
  return false;
}

}  // namespace

void ScriptFuzzedSpooler(const std::uint8_t* data, std::size_t size) {
  input = data;
  input_size = size;
  input_at = 0;
  pending = PendingFill();
  listings.clear();
  previous_block = 0;
  previous_size = 0;
}

const std::vector<FuzzedListing>& FuzzedListings() { return listings; }

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level,
                          LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  Require(pcbNeeded != nullptr && pcReturned != nullptr, "no place for results");
  std::optional<std::wstring> name;
  if (Name != nullptr) name = std::wstring(Name, std::wcslen(Name));

  if (pPrinterEnum == nullptr) {
    Require(cbBuf == 0, "sizing call with a size");
    Require(!pending.open, "a sizing call that reported bytes was not filled");
    if (name) {
      Require(Flags == PRINTER_ENUM_NAME && Level == 1,
              "by-name request not at level 1 with PRINTER_ENUM_NAME");
      Require(name->compare(0, 2, L"!!") != 0, "a name beginning with !! asked by");
    } else {
      Require(IsScope(Flags), "listing with flags outside the scope table");
      Require(Level == 1 || Level == 2 || Level == 4 || Level == 5,
              "listing at a level outside the sweep");
    }
    const DWORD needed = static_cast<DWORD>(ReadBytes(2));
    if (!name) listings.push_back({Flags, Level, needed != 0});
    if (needed != 0) pending = {true, Flags, name, Level, needed};
    *pcbNeeded = needed;
    *pcReturned = 0xFFFFFFFFu;  // a sizing call's count means nothing
    return FALSE;
  }

  Require(pending.open, "filling call without a sizing call that reported bytes");
  Require(Flags == pending.flags && name == pending.name && Level == pending.level,
          "filling call asks for something else than its sizing call");
  Require(cbBuf == pending.needed + 128, "filling call's size is not needed + 128");
  pending.open = false;
  *pcbNeeded = pending.needed;
  Fill(Level, pPrinterEnum, cbBuf, pcReturned);
  return TRUE;
}
