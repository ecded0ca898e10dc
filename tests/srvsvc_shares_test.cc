// What the SMB share listing reads of a server's share list.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spooler/smb/rpc_bytes.h"
#include "spooler/smb/srvsvc_shares.h"

namespace {

struct Share {
  std::u16string name;
  std::uint32_t type;
  std::u16string comment;  // none sent when empty
};

// An NDR string: counts, UTF-16LE units (the NUL included), padding.
void AppendString(std::string& stub, const std::u16string& text) {
  const auto count = static_cast<std::uint32_t>(text.size() + 1);
  for (const std::uint32_t value : {count, 0u, count}) {
    AppendUint32(stub, value);
  }
  for (const char16_t unit : text + u'\0') AppendUint16(stub, unit);
  while (stub.size() % 4 != 0) stub += '\0';
}

// A level 1 answer as a server lays it out.
std::string AnswerStub(const std::vector<Share>& shares) {
  std::string stub;
  const auto count = static_cast<std::uint32_t>(shares.size());
  for (const std::uint32_t value : {1u, 1u, 0x20000u, count, 0x20004u, count}) {
    AppendUint32(stub, value);
  }
  for (const Share& share : shares) {
    for (const std::uint32_t value :
         {0x20008u, share.type, share.comment.empty() ? 0u : 0x2000cu}) {
      AppendUint32(stub, value);
    }
  }
  for (const Share& share : shares) {
    AppendString(stub, share.name);
    if (!share.comment.empty()) AppendString(stub, share.comment);
  }
  for (const std::uint32_t value : {count, 0x20010u, 0u, kShareEnumDone}) {
    AppendUint32(stub, value);
  }
  return stub;
}

TEST(SrvsvcShares, ReadsPrinterNamesWholeInTheServersOrder) {
  const std::optional<ShareEnumAnswer> answer = ReadShareEnumAnswer(AnswerStub(
      {{u"Daten", 0, u"Ablage"},
       {u"\u00dc-Lang", 1, u"B\u00fcro \U0001F5A8"},
       {std::u16string(1024, u'M'), 1, u""},
       {u"IPC$", 0x80000003, u"IPC"},
       {u"Lone\xD800", 1, u""}}));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, kShareEnumDone);
  EXPECT_EQ(answer->printers,
            SmbShareList({{"\xC3\x9C-Lang", "B\xC3\xBCro \xF0\x9F\x96\xA8"},
                          {std::string(1024, 'M'), ""},
                          {"Lone\xEF\xBF\xBD", ""}}));
}

TEST(SrvsvcShares, RefusesAnAnswerThatRunsPastItsEnd) {
  const std::string stub = AnswerStub({{u"Laser", 1, u"Laserdrucker"}});
  EXPECT_TRUE(ReadShareEnumAnswer(stub));
  EXPECT_FALSE(ReadShareEnumAnswer(stub.substr(0, stub.size() - 1)));
  std::string lying = stub;
  lying[12] = lying[20] = '\x7f';  // more shares than the stub has room for
  EXPECT_FALSE(ReadShareEnumAnswer(lying));
}

}  // namespace
