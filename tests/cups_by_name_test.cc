// The Linux spooler's EnumPrintersW by name at levels 2 and 5, called
// directly against the private servers that tests/cups/cups_end_to_end.sh
// starts (see cups_spooler_test.cc): as the platform answers, a server's
// printers with their details, and no name the local computer's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cups_spooler_calls.h"
#include "spooler/spooler.h"

namespace {

// The names in a block of count records at the level.
std::vector<std::string> Names(DWORD level, const BYTE* block, DWORD count) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < count; ++k) {
    names.push_back(Utf8(NameField(level, block, k)));
  }
  return names;
}

TEST_F(CupsSpoolerTest, ByNameAtLevels2And5AsThePlatformAnswers) {
  std::vector<BYTE> block(16384);
  const DWORD size = static_cast<DWORD>(block.size());
  for (DWORD level : {2u, 5u}) {
    SCOPED_TRACE("level " + std::to_string(level));
    // No name, or an empty one: the local computer's printers, as Local
    // lists them, sized and filled the same way.
    const DWORD local =
        Enumerate(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0).needed;
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L""}) {
      const Call sizing = Enumerate(PRINTER_ENUM_NAME, name, level, nullptr, 0);
      EXPECT_FALSE(sizing.result);
      EXPECT_EQ(sizing.needed, local);
      EXPECT_EQ(sizing.returned, 0u);
      std::vector<BYTE> exact(local);
      const Call filled =
          Enumerate(PRINTER_ENUM_NAME, name, level, exact.data(), local);
      EXPECT_TRUE(filled.result);
      EXPECT_EQ(filled.requests, 0u);
      ASSERT_EQ(filled.returned, local_.size());
      ExpectPlatformLayout(level, exact.data(), filled.needed, filled.returned);
      EXPECT_EQ(Names(level, exact.data(), filled.returned), local_);
    }

    // The server's own name: every queue, the remote one too, named after
    // the name asked by, and at level 2 on that server.
    const Call own =
        Enumerate(PRINTER_ENUM_NAME, L"\\\\LocalHost", level, block.data(), size);
    EXPECT_TRUE(own.result);
    ASSERT_EQ(own.returned, local_.size() + 1);
    ExpectPlatformLayout(level, block.data(), own.needed, own.returned);
    const std::vector<std::string> names =
        Names(level, block.data(), own.returned);
    for (const std::string& queue : local_) {
      EXPECT_NE(std::find(names.begin(), names.end(), "\\\\LocalHost\\" + queue),
                names.end()) << queue;
    }
    EXPECT_NE(std::find(names.begin(), names.end(),
                        "\\\\LocalHost\\" + remote_), names.end());
    if (level == 2) {
      for (std::size_t k = 0; k < own.returned; ++k) {
        EXPECT_EQ(Utf8(RecordAt<PRINTER_INFO_2>(block.data(), k).pServerName),
                  "\\\\LocalHost");
      }
    }
  }

  // The other server: the queue it shares, with its details.
  ASSERT_EQ(Enumerate(PRINTER_ENUM_REMOTE, nullptr, 1, block.data(), size)
                .returned, 2u);
  const std::string other =
      Utf8(RecordAt<PRINTER_INFO_1>(block.data(), 1).pName);
  const std::wstring other_name(other.begin(), other.end());
  const Call shared = Enumerate(PRINTER_ENUM_NAME, other_name.c_str(), 2,
                                block.data(), size);
  ASSERT_EQ(shared.returned, 1u);
  ExpectPlatformLayout(2, block.data(), shared.needed, shared.returned);
  const auto info = RecordAt<PRINTER_INFO_2>(block.data(), 0);
  EXPECT_EQ(Utf8(info.pPrinterName), other + "\\Shared");
  EXPECT_EQ(Utf8(info.pServerName), other);
  EXPECT_EQ(Utf8(info.pShareName), "Shared");
  EXPECT_EQ(Utf8(info.pComment), "Shared on the second server");
  EXPECT_EQ(Utf8(info.pPortName), "file:///dev/null");
  EXPECT_EQ(info.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL |
                                                PRINTER_ATTRIBUTE_SHARED));
}

}  // namespace
