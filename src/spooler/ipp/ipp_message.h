// IPP messages as bytes: the requests the spooler sends, and the reading of
// an answer straight from the bytes that came, without trusting them.
#ifndef QUELVARO_SPOOLER_IPP_IPP_MESSAGE_H
#define QUELVARO_SPOOLER_IPP_IPP_MESSAGE_H

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Operations and tags, as the IPP standard numbers them.
const int kIppGetPrinterAttributes = 0x000B;
const int kIppCupsGetPrinters = 0x4002;

const unsigned char kIppPrinterGroup = 0x04;

const unsigned char kIppInteger = 0x21;
const unsigned char kIppBoolean = 0x22;
const unsigned char kIppEnum = 0x23;
const unsigned char kIppTextWithLanguage = 0x35;
const unsigned char kIppNameWithLanguage = 0x36;
const unsigned char kIppText = 0x41;
const unsigned char kIppName = 0x42;
const unsigned char kIppKeyword = 0x44;
const unsigned char kIppUri = 0x45;

// A request: the operation with the usual operation attributes (charset
// utf-8, natural language "en", requesting-user-name), printer-uri when one
// is given, and requested-attributes naming exactly the attributes given.
std::string IppRequest(int operation, const std::string& printer_uri,
                       const std::string& user,
                       const std::vector<std::string>& requested);

// One attribute to be read from an answer: its name and the value tags the
// standard gives it. A value in any other tag counts as no value.
struct IppWanted {
  std::string name;
  std::vector<unsigned char> tags;
};

// The first value of each wanted attribute of one attribute group, in the
// order of the wanted list: the value's bytes inside the message (for the
// -WithLanguage tags, the text part only), or none when the group does not
// have the attribute in a wanted tag with a well-formed value.
using IppValues = std::vector<std::optional<std::string_view>>;

// The status code of an answer; -1 when the message is too short to have one.
int IppStatus(std::string_view message);

// The groups of the given tag in an answer, in order, each with its wanted
// values. None when the message is not well formed: a length that points
// past its end, a missing end tag, a collection that is not closed. Every
// byte is looked at once, so time grows with the message's size alone,
// however deeply collections nest or however many values an attribute has.
std::optional<std::vector<IppValues>> IppGroups(
    std::string_view message, unsigned char group_tag,
    const std::vector<IppWanted>& wanted);

// The same one group at a time, so that an answer of thousands of printers
// is never held twice: the reading of a message, from its start; the groups
// of the tag are read in order, each up to where the next group (or the
// end) begins.
struct IppGroupReader {
  std::string_view message;
  unsigned char group_tag;
  std::size_t at = 8;  // the next byte to read
};
enum IppStep {
  kIppGroup,          // values holds the next group's wanted values
  kIppEnd,            // the message has ended, well formed: no group more
  kIppNotWellFormed,  // as IppGroups says: nothing read so far counts
};
IppStep ReadIppGroup(IppGroupReader& reader,
                     const std::vector<IppWanted>& wanted, IppValues& values);

// How many groups of the tag a well-formed message has; none for one that
// is not.
std::optional<std::size_t> CountIppGroups(std::string_view message,
                                          unsigned char group_tag);

// Values as the records need them: an integer or enum (four bytes, big
// endian), a boolean (one byte); none for bytes of another length.
std::optional<long long> IppInteger(const std::optional<std::string_view>& value);
std::optional<bool> IppBoolean(const std::optional<std::string_view>& value);

#endif  // QUELVARO_SPOOLER_IPP_IPP_MESSAGE_H
