// Decoding the server's UTF-8: every character exactly, and U+FFFD for each
// maximal ill-formed part, as the Unicode Standard recommends.
#include <gtest/gtest.h>

#include "spooler/utf8_text.h"

namespace {

TEST(WideFromUtf8, WellFormedTextKeepsEveryCharacter) {
  EXPECT_EQ(WideFromUtf8(""), L"");
  EXPECT_EQ(WideFromUtf8("Office 2"), L"Office 2");
  // The first and last characters of each sequence length.
  EXPECT_EQ(WideFromUtf8("\x7F"), std::wstring(1, 0x7F));
  EXPECT_EQ(WideFromUtf8("\xC2\x80"), std::wstring(1, 0x80));
  EXPECT_EQ(WideFromUtf8("\xDF\xBF"), std::wstring(1, 0x7FF));
  EXPECT_EQ(WideFromUtf8("\xE0\xA0\x80"), std::wstring(1, 0x800));
  EXPECT_EQ(WideFromUtf8("\xEF\xBF\xBF"), std::wstring(1, 0xFFFF));
  EXPECT_EQ(WideFromUtf8("\xF0\x90\x80\x80"), std::wstring(1, 0x10000));
  EXPECT_EQ(WideFromUtf8("\xF4\x8F\xBF\xBF"), std::wstring(1, 0x10FFFF));
  // Around the surrogates, which themselves are not characters.
  EXPECT_EQ(WideFromUtf8("\xED\x9F\xBF"), std::wstring(1, 0xD7FF));
  EXPECT_EQ(WideFromUtf8("\xEE\x80\x80"), std::wstring(1, 0xE000));
  EXPECT_EQ(WideFromUtf8("B\xC3\xBCro-Drucker \xE6\x89\x93\xE5\x8D\xB0"
                         "\xE6\x9C\xBA Printer\xF0\x9F\x96\xA8"),
            L"Büro-Drucker 打印机 Printer🖨");
}

TEST(WideFromUtf8, IllFormedPartsBecomeOneReplacementEach) {
  const wchar_t r = 0xFFFD;
  // The Unicode Standard's own example (chapter 3, "U+FFFD Substitution of
  // Maximal Subparts").
  EXPECT_EQ(WideFromUtf8("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
            (std::wstring{L'a', r, r, r, L'b', r, L'c', r, r, L'd'}));
  // Bytes that never start a sequence.
  EXPECT_EQ(WideFromUtf8("\x80"), std::wstring(1, r));
  EXPECT_EQ(WideFromUtf8("\xC0\xAF"), std::wstring(2, r));  // overlong '/'
  EXPECT_EQ(WideFromUtf8("\xC1\xBF"), std::wstring(2, r));
  EXPECT_EQ(WideFromUtf8("\xF5\x80\x80\x80"), std::wstring(4, r));
  EXPECT_EQ(WideFromUtf8("\xFF"), std::wstring(1, r));
  // Overlong three- and four-byte forms, a surrogate, and a value above
  // U+10FFFF: the lead alone is replaced, then each byte after it.
  EXPECT_EQ(WideFromUtf8("\xE0\x80\xAF"), std::wstring(3, r));
  EXPECT_EQ(WideFromUtf8("\xF0\x80\x80\xAF"), std::wstring(4, r));
  EXPECT_EQ(WideFromUtf8("\xED\xA0\x80"), std::wstring(3, r));
  EXPECT_EQ(WideFromUtf8("\xF4\x90\x80\x80"), std::wstring(4, r));
  // Cut short, at the end and before another character.
  EXPECT_EQ(WideFromUtf8("A\xE2\x82"), (std::wstring{L'A', r}));
  EXPECT_EQ(WideFromUtf8("\xF0\x9F\x96Z"), (std::wstring{r, L'Z'}));
  EXPECT_EQ(WideFromUtf8("\xE2\x82\xE2\x82\xAC"), (std::wstring{r, L'€'}));
}

}  // namespace
