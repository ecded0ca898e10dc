// The wide output: UTF-8 for every name, U+FFFD for what names no character,
// and lines in the order they were flushed on either stream.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "capture.h"
#include "report/wide_output.h"
#include "spooler/utf8_text.h"

namespace {

std::string Encode(const std::wstring& text) {
  return EncodeUtf8(text.data(), text.size());
}

TEST(EncodeUtf8Test, EncodesEveryPlane) {
  EXPECT_EQ(Encode(L"Plain ASCII"), "Plain ASCII");
  EXPECT_EQ(Encode(L"\u00e9\u07ff"), "\xC3\xA9\xDF\xBF");
  EXPECT_EQ(Encode(L"\u0800\u20ac\uffff"), "\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF");
  EXPECT_EQ(Encode(L"\U00010000\U0010FFFF"),
            "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
  EXPECT_EQ(Encode(std::wstring(1, L'\0')), std::string(1, '\0'));
}

TEST(EncodeUtf8Test, WhatNamesNoCharacterBecomesReplacement) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::wstring high(1, static_cast<wchar_t>(0xD83D));
  const std::wstring low(1, static_cast<wchar_t>(0xDE00));
  EXPECT_EQ(Encode(L"a" + high + L"b"), "a" + fffd + "b");
  EXPECT_EQ(Encode(L"a" + low), "a" + fffd);
  EXPECT_EQ(Encode(low + high), fffd + fffd);
  EXPECT_EQ(Encode(high), fffd);
  if (sizeof(wchar_t) == 4) {
    // Only UTF-32 can hold values past the last plane.
    EXPECT_EQ(Encode(std::wstring(1, static_cast<wchar_t>(0x110000))), fffd);
    EXPECT_EQ(Encode(std::wstring(1, static_cast<wchar_t>(-1))) + "x",
              fffd + "x");
  }
}

TEST(WideOutputBufTest, NothingLeavesBeforeTheFlush) {
  std::stringbuf bytes;
  WideOutputBuf wide(&bytes);
  std::wostream out(&wide);
  out << L"- B\u00fcro" << 42;
  EXPECT_EQ(bytes.str(), "");
  out << std::endl;
  EXPECT_EQ(bytes.str(), "- B\xC3\xBCro42\n");
}

TEST(WideOutputBufTest, WideAndNarrowLinesKeepTheirOrder) {
  const std::string out = CaptureOutput([] {
    std::wcout << "wide " << L"\u20ac" << std::endl;
    std::cout << "narrow" << std::endl;
    std::wcout << L"\U0001F600" << std::endl;
    std::cout << "Suche beendet" << std::endl;
  });
  EXPECT_EQ(out, "wide \xE2\x82\xAC\nnarrow\n\xF0\x9F\x98\x80\nSuche beendet\n");
}

TEST(WideOutputBufTest, ALineThatCannotBeEncodedDoesNotStopTheStream) {
  const std::string out = CaptureOutput([] {
    std::wcout << "- " << std::wstring(1, static_cast<wchar_t>(0xDC00))
               << std::endl;
    std::wcout << "- next" << std::endl;
  });
  EXPECT_EQ(out, "- \xEF\xBF\xBD\n- next\n");
  EXPECT_TRUE(std::wcout.good());
}

// What a Windows console is given when standard output is one.
TEST(EncodeConsoleTextTest, WellFormedUtf16WithCrLfLineEnds) {
  EXPECT_EQ(EncodeConsoleText(L"- B\u00fcro\n", 7), u"- B\u00fcro\r\n");
  const std::wstring two_lines = L"a\n\nb\n";
  EXPECT_EQ(EncodeConsoleText(two_lines.data(), two_lines.size()),
            u"a\r\n\r\nb\r\n");
  // A character past the Basic Multilingual Plane is one surrogate pair,
  // whatever the width of wchar_t.
  const std::wstring emoji = L"\U0001F5A8\u6253";
  EXPECT_EQ(EncodeConsoleText(emoji.data(), emoji.size()),
            std::u16string({0xD83D, 0xDDA8, 0x6253}));
  EXPECT_EQ(EncodeConsoleText(L"", 0), u"");
}

TEST(EncodeConsoleTextTest, WhatNamesNoCharacterBecomesReplacement) {
  const std::wstring high(1, static_cast<wchar_t>(0xD83D));
  const std::wstring low(1, static_cast<wchar_t>(0xDE00));
  const std::wstring lone = L"a" + high + L"b" + low + L"\n" + low + high;
  EXPECT_EQ(EncodeConsoleText(lone.data(), lone.size()),
            u"a\uFFFDb\uFFFD\r\n\uFFFD\uFFFD");
}

TEST(EncodeUtf8Test, AppendsToWhatIsThere) {
  std::string out = "- ";
  const std::wstring text = L"B\u00fcro";
  EncodeUtf8(text.data(), text.size(), out);
  EXPECT_EQ(out, "- B\xC3\xBCro");
  EncodeUtf8(text.data(), 0, out);
  EXPECT_EQ(out, "- B\xC3\xBCro");
}

TEST(WideOutputBufTest, LongLinesComeOutWholeAtTheFlush) {
  // Lines longer than the buffer's own put area, one with a character
  // outside the basic plane at every offset around its end, so a UTF-16
  // surrogate pair straddles it somewhere; each comes out whole, in one
  // piece, only when flushed, and the short line after it too.
  std::stringbuf bytes;
  WideOutputBuf wide(&bytes);
  std::wostream out(&wide);
  std::string expected;
  for (std::size_t prefix = 250; prefix < 260; ++prefix) {
    out << std::wstring(prefix, L'a') << L"\U0001F600" << std::wstring(5000, L'z');
    EXPECT_EQ(bytes.str(), expected);
    out << std::endl << L"\u20ac" << std::endl;
    expected += std::string(prefix, 'a') + "\xF0\x9F\x98\x80" +
                std::string(5000, 'z') + "\n\xE2\x82\xAC\n";
    EXPECT_EQ(bytes.str(), expected);
  }
  EXPECT_TRUE(out.good());
}

TEST(WideOutputBufTest, AUnitThatReadsAsWeofIsNeverDropped) {
  // Found by the text fuzzer: a name's code unit equal to WEOF (0xFFFFFFFF
  // where wchar_t has 32 bits, U+FFFF where it has 16) that fell on the end
  // of the put area was taken for end-of-file there and vanished. At every
  // offset around that end it must come out like any other unit.
  using Traits = std::char_traits<wchar_t>;
  const std::wstring weof(1, Traits::to_char_type(Traits::eof()));
  std::stringbuf bytes;
  WideOutputBuf wide(&bytes);
  std::wostream out(&wide);
  std::string expected;
  for (std::size_t prefix = 0; prefix < 600; ++prefix) {
    out << std::wstring(prefix, L'a') + weof + L"b" << std::endl;
    expected += std::string(prefix, 'a') + Encode(weof) + "b\n";
  }
  EXPECT_EQ(bytes.str(), expected);
  EXPECT_TRUE(out.good());
}

}  // namespace
