// The records of a block checked one by one.
#include "layout_check.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "spooler/printer_info_layout.h"

void Fault(const char* what) {
  std::fprintf(stderr, "record fault: %s\n", what);
  __builtin_trap();
}

namespace {

// The string at text, which must start and end inside the block.
std::wstring StringIn(const std::vector<BYTE>& block, LPCWSTR text) {
  const BYTE* at = reinterpret_cast<const BYTE*>(text);
  if (at < block.data() || at >= block.data() + block.size()) {
    Fault("a string outside the block");
  }
  std::wstring out;
  for (std::size_t offset = static_cast<std::size_t>(at - block.data());;
       offset += sizeof(WCHAR)) {
    if (offset + sizeof(WCHAR) > block.size()) Fault("an unended string");
    WCHAR unit;
    std::memcpy(&unit, block.data() + offset, sizeof unit);
    if (unit == 0) return out;
    out.push_back(unit);
  }
}

void CheckCharacters(const std::wstring& text) {
  for (wchar_t unit : text) {
    const auto c = static_cast<std::uint32_t>(unit);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) Fault("not a character");
  }
}

// No '@' in the authority: "//", then up to the path.
void CheckNoCredentials(const std::wstring& text) {
  const std::size_t start = text.find(L"//");
  if (start == std::wstring::npos) return;
  const std::size_t path = text.find(L'/', start + 2);
  if (text.substr(start + 2, path - (start + 2)).find(L'@') !=
      std::wstring::npos) {
    Fault("credentials shown");
  }
}

void CheckLevel(DWORD level, const std::vector<const PrinterRecord*>& printers) {
  DWORD returned = 0;
  const DWORD needed =
      LayOutPrinters(level, printers, L"\\\\host", nullptr, 0, returned);
  if (needed == 0) return;
  std::vector<BYTE> block(needed);
  if (LayOutPrinters(level, printers, L"\\\\host", block.data(), needed,
                     returned) != needed ||
      returned != printers.size()) {
    Fault("the block measured is not filled");
  }
  for (DWORD k = 0; k < returned; ++k) {
    const BYTE* record = block.data() + k * PrinterInfoSize(level);
    // Every string of the record: the name, then the uri_fields made from
    // a device URI, then the others.
    std::vector<LPWSTR> strings;
    std::size_t uri_fields = 1;
    if (level == 1) {
      PRINTER_INFO_1 info;
      std::memcpy(&info, record, sizeof info);
      strings = {info.pName, info.pDescription, info.pComment};
      uri_fields = 0;
    } else if (level == 2) {
      PRINTER_INFO_2 info;
      std::memcpy(&info, record, sizeof info);
      strings = {info.pPrinterName, info.pServerName, info.pPortName,
                 info.pShareName,   info.pDriverName, info.pComment,
                 info.pLocation};
      uri_fields = 2;
    } else if (level == 4) {
      PRINTER_INFO_4 info;
      std::memcpy(&info, record, sizeof info);
      strings = {info.pPrinterName, info.pServerName};
    } else {
      PRINTER_INFO_5 info;
      std::memcpy(&info, record, sizeof info);
      strings = {info.pPrinterName, info.pPortName};
    }
    if (strings[0] == nullptr) Fault("a record without a name");
    for (std::size_t i = 0; i < strings.size(); ++i) {
      if (strings[i] == nullptr) continue;
      const std::wstring string = StringIn(block, strings[i]);
      CheckCharacters(string);
      if (i >= 1 && i <= uri_fields) CheckNoCredentials(string);
    }
  }
}

}  // namespace

void CheckPrinterLayout(const std::vector<const PrinterRecord*>& printers) {
  for (DWORD level : {1u, 2u, 4u, 5u}) CheckLevel(level, printers);
}
