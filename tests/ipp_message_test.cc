// IPP messages as bytes: the request as libcups reads it, and answers read
// from memory: strict about value types, linear however they nest, and
// refused whole when a length lies.
#include <gtest/gtest.h>

#include "ipp_bytes.h"
#include "spooler/ipp/ipp_message.h"

namespace {

const std::vector<IppWanted> kWanted = {
    {"printer-name", {kIppName, kIppNameWithLanguage}},
    {"printer-is-shared", {kIppBoolean}},
};

TEST(IppRequest, IsTheOperationWithExactlyTheAttributesNamed) {
  const IppMessage request = IppFromBytes(IppRequest(
      kIppGetPrinterAttributes, "ipp://host/ipp/print", "alice",
      {"printer-name", "printer-type"}));
  ASSERT_TRUE(request);
  EXPECT_EQ(ippGetOperation(request.get()), IPP_OP_GET_PRINTER_ATTRIBUTES);
  EXPECT_STREQ(ippGetString(ippFindAttribute(request.get(), "printer-uri",
                                             IPP_TAG_URI), 0, nullptr),
               "ipp://host/ipp/print");
  EXPECT_STREQ(ippGetString(ippFindAttribute(request.get(),
                                             "requesting-user-name",
                                             IPP_TAG_NAME), 0, nullptr),
               "alice");
  ipp_attribute_t* requested = ippFindAttribute(
      request.get(), "requested-attributes", IPP_TAG_KEYWORD);
  ASSERT_EQ(ippGetCount(requested), 2);
  EXPECT_STREQ(ippGetString(requested, 1, nullptr), "printer-type");
  // CUPS-Get-Printers names no printer.
  EXPECT_FALSE(ippFindAttribute(
      IppFromBytes(IppRequest(kIppCupsGetPrinters, "", "u", {"a"})).get(),
      "printer-uri", IPP_TAG_ZERO));
}

TEST(IppGroups, FirstValuesOfEachGroupOfTheTagInOrderAndOnlyInTheirTypes) {
  IppMessage answer = IppAnswer(IPP_STATUS_OK);
  ipp_t* a = answer.get();
  ippAddStrings(a, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", 2, nullptr,
                std::vector<const char*>{"Zeta", "second"}.data());
  ippAddBoolean(a, IPP_TAG_PRINTER, "printer-is-shared", 1);
  ippAddSeparator(a);
  // A name with a language; a boolean sent as text counts as none.
  ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_NAMELANG, "printer-name", "de",
               "B\xC3\xBCro");
  ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-is-shared", nullptr,
               "true");
  ippAddSeparator(a);
  ippAddInteger(a, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "printer-name", 7);
  ippAddString(a, IPP_TAG_JOB, IPP_TAG_NAME, "printer-name", nullptr, "job");

  // The values are views into the message, which stays.
  const std::string bytes = IppBytes(a);
  const auto groups = IppGroups(bytes, kIppPrinterGroup, kWanted);
  ASSERT_TRUE(groups);
  ASSERT_EQ(groups->size(), 3u);
  EXPECT_EQ((*groups)[0][0], "Zeta");
  EXPECT_EQ(IppBoolean((*groups)[0][1]), true);
  EXPECT_EQ((*groups)[1][0], "B\xC3\xBCro");
  EXPECT_FALSE((*groups)[1][1]);
  EXPECT_FALSE((*groups)[2][0]);
  EXPECT_EQ(IppStatus(bytes), 0);
}

// An answer with one printer group: an attribute nobody asked for, holding
// collections nested depth deep whose innermost member is called
// printer-name, closed ends times; then the group's own printer-name.
std::string NestedAnswer(int depth, int ends) {
  IppMessage answer = IppAnswer(IPP_STATUS_OK);
  std::string bytes = IppBytes(answer.get());
  bytes.pop_back();  // the end tag
  bytes += '\x04';
  auto value = [&](char tag, const std::string& name, const std::string& v) {
    for (const std::string* part : {&name, &v}) {
      if (part == &name) bytes += tag;
      bytes += static_cast<char>(part->size() >> 8);
      bytes += static_cast<char>(part->size() & 0xFF);
      bytes += *part;
    }
  };
  value('\x34', "x-nested", "");
  for (int level = 1; level < depth; ++level) {
    value('\x4A', "", "member");
    value('\x34', "", "");
  }
  value('\x4A', "", "printer-name");
  value('\x42', "", "Inner");
  for (int level = 0; level < ends; ++level) value('\x37', "", "");
  value('\x42', "printer-name", "Outer");
  return bytes + '\x03';
}

TEST(IppGroups, CollectionsOfAnyDepthAreSkippedWithoutTakingTheirMembers) {
  const std::string bytes = NestedAnswer(8000, 8000);
  const auto groups = IppGroups(bytes, kIppPrinterGroup, kWanted);
  ASSERT_TRUE(groups);
  ASSERT_EQ(groups->size(), 1u);
  EXPECT_EQ((*groups)[0][0], "Outer");
  // One end too few, or one too many, is not a message.
  EXPECT_FALSE(IppGroups(NestedAnswer(8000, 7999), kIppPrinterGroup, kWanted));
  EXPECT_FALSE(IppGroups(NestedAnswer(8000, 8001), kIppPrinterGroup, kWanted));
}

TEST(IppGroups, AMessageCutAnywhereOrWithALyingLengthIsRefusedWhole) {
  IppMessage answer = IppAnswer(IPP_STATUS_OK);
  ippAddString(answer.get(), IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name",
               nullptr, "Alpha");
  ippAddBoolean(answer.get(), IPP_TAG_PRINTER, "printer-is-shared", 0);
  const std::string bytes = IppBytes(answer.get());
  ASSERT_TRUE(IppGroups(bytes, kIppPrinterGroup, kWanted));
  EXPECT_EQ(CountIppGroups(bytes, kIppPrinterGroup), 1u);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(IppGroups(bytes.substr(0, size), kIppPrinterGroup, kWanted))
        << size;
    EXPECT_FALSE(CountIppGroups(bytes.substr(0, size), kIppPrinterGroup))
        << size;
  }
  // The value length of "Alpha" made to reach past the end.
  std::string lying = bytes;
  const std::size_t alpha = lying.find("Alpha");
  lying[alpha - 2] = '\x7F';
  EXPECT_FALSE(IppGroups(lying, kIppPrinterGroup, kWanted));
}

TEST(IppValues, NumbersAndBooleansHaveTheirOwnSizes) {
  EXPECT_EQ(IppInteger(std::string_view("\x00\x00\x01\x02", 4)), 258);
  EXPECT_EQ(IppInteger(std::string_view("\xFF\xFF\xFF\xFE", 4)), -2);
  EXPECT_FALSE(IppInteger(std::string_view("\x01\x02", 2)));
  EXPECT_EQ(IppBoolean(std::string_view("\x00", 1)), false);
  EXPECT_FALSE(IppBoolean(std::string_view("\x02", 1)));
  EXPECT_FALSE(IppBoolean(std::nullopt));
}

}  // namespace
