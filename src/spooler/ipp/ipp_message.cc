// Writing IPP requests and reading IPP answers from memory.
#include "spooler/ipp/ipp_message.h"

#include <algorithm>
#include <cstdint>

namespace {

const unsigned char kOperationGroup = 0x01;
const unsigned char kEndOfAttributes = 0x03;
const unsigned char kCharset = 0x47;
const unsigned char kNaturalLanguage = 0x48;
const unsigned char kBeginCollection = 0x34;
const unsigned char kEndCollection = 0x37;
// An extension value tag: the real tag follows in four bytes.
const unsigned char kExtension = 0x7F;

void PutShort(std::string& out, std::size_t value) {
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
  out.push_back(static_cast<char>(value & 0xFF));
}

// One value; a name for the first value of an attribute, none for the
// values that follow it.
void PutValue(std::string& out, unsigned char tag, const std::string& name,
              const std::string& value) {
  out.push_back(static_cast<char>(tag));
  PutShort(out, name.size());
  out += name;
  PutShort(out, value.size());
  out += value;
}

// Reading big-endian numbers; the caller has checked the bytes are there.
std::size_t Short(std::string_view bytes, std::size_t at) {
  return (static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) << 8) |
         static_cast<unsigned char>(bytes[at + 1]);
}

// The text part of a -WithLanguage value: a two-byte length and the
// language, then a two-byte length and the text, filling the value exactly.
std::optional<std::string_view> TextPart(std::string_view value) {
  if (value.size() < 2) return std::nullopt;
  const std::size_t language = Short(value, 0);
  if (value.size() < 4 || value.size() - 4 < language) return std::nullopt;
  const std::size_t text = Short(value, 2 + language);
  if (value.size() - 4 - language != text) return std::nullopt;
  return value.substr(4 + language, text);
}

// The first value of an attribute, if its tag is one the attribute may have.
std::optional<std::string_view> WantedValue(unsigned char tag,
                                            std::string_view value,
                                            const std::vector<unsigned char>& tags) {
  if (std::find(tags.begin(), tags.end(), tag) == tags.end()) {
    return std::nullopt;
  }
  if (tag == kIppTextWithLanguage || tag == kIppNameWithLanguage) {
    return TextPart(value);
  }
  return value;
}

}  // namespace

std::string IppRequest(int operation, const std::string& printer_uri,
                       const std::string& user,
                       const std::vector<std::string>& requested) {
  std::string out;
  // Version 2.0, the operation, request id 1.
  out.push_back(2);
  out.push_back(0);
  PutShort(out, static_cast<std::size_t>(operation));
  out.append({0, 0, 0, 1});
  out.push_back(static_cast<char>(kOperationGroup));
  PutValue(out, kCharset, "attributes-charset", "utf-8");
  PutValue(out, kNaturalLanguage, "attributes-natural-language", "en");
  if (!printer_uri.empty()) PutValue(out, kIppUri, "printer-uri", printer_uri);
  PutValue(out, kIppName, "requesting-user-name", user);
  for (std::size_t i = 0; i < requested.size(); ++i) {
    PutValue(out, kIppKeyword, i == 0 ? "requested-attributes" : "",
             requested[i]);
  }
  out.push_back(static_cast<char>(kEndOfAttributes));
  return out;
}

int IppStatus(std::string_view message) {
  if (message.size() < 8) return -1;
  return static_cast<int>(Short(message, 2));
}

IppStep ReadIppGroup(IppGroupReader& reader,
                     const std::vector<IppWanted>& wanted, IppValues& values) {
  const std::string_view message = reader.message;
  if (message.size() < 8) return kIppNotWellFormed;
  bool in_group = false;     // inside a group of the tag asked for
  std::size_t depth = 0;     // how deep inside collections
  std::size_t& at = reader.at;
  while (at < message.size()) {
    const unsigned char tag = static_cast<unsigned char>(message[at]);
    if (tag == kEndOfAttributes || tag < 0x10) {
      // A group ends at the next one, or at the end; a collection cannot
      // span groups. The tag is read by the next call once this group is
      // handed over.
      if (depth != 0) return kIppNotWellFormed;
      if (in_group) return kIppGroup;
      ++at;
      if (tag == kEndOfAttributes) return kIppEnd;
      in_group = tag == reader.group_tag;
      if (in_group) values.assign(wanted.size(), std::nullopt);
      continue;
    }
    ++at;
    unsigned char value_tag = tag;
    if (tag == kExtension) {
      // The tag proper follows; none of ours is ever one of these.
      if (message.size() - at < 4) return kIppNotWellFormed;
      at += 4;
      value_tag = 0;
    }
    if (message.size() - at < 2) return kIppNotWellFormed;
    const std::size_t name_length = Short(message, at);
    at += 2;
    if (message.size() - at < name_length) return kIppNotWellFormed;
    const std::string_view name = message.substr(at, name_length);
    at += name_length;
    if (message.size() - at < 2) return kIppNotWellFormed;
    const std::size_t value_length = Short(message, at);
    at += 2;
    if (message.size() - at < value_length) return kIppNotWellFormed;
    const std::string_view value = message.substr(at, value_length);
    at += value_length;

    // Collections nest by counting, never by recursion; what lies inside
    // one is never a value of ours.
    const std::size_t outer = depth;
    if (value_tag == kBeginCollection) ++depth;
    if (value_tag == kEndCollection) {
      if (depth == 0) return kIppNotWellFormed;
      --depth;
      continue;
    }
    if (outer != 0 || !in_group) continue;
    if (name_length == 0) continue;  // a further value of the attribute

    std::size_t current = wanted.size();
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      if (wanted[i].name == name) {
        current = i;
        break;
      }
    }
    // An attribute sent twice in a group keeps its first value.
    if (current == wanted.size() || values[current]) continue;
    values[current] = WantedValue(value_tag, value, wanted[current].tags);
  }
  return kIppNotWellFormed;  // no end tag
}

std::optional<std::size_t> CountIppGroups(std::string_view message,
                                          unsigned char group_tag) {
  IppGroupReader reader = {message, group_tag};
  IppValues none;
  std::size_t count = 0;
  for (;;) {
    switch (ReadIppGroup(reader, {}, none)) {
      case kIppGroup: ++count; break;
      case kIppEnd: return count;
      case kIppNotWellFormed: return std::nullopt;
    }
  }
}

std::optional<std::vector<IppValues>> IppGroups(
    std::string_view message, unsigned char group_tag,
    const std::vector<IppWanted>& wanted) {
  IppGroupReader reader = {message, group_tag};
  std::vector<IppValues> groups;
  for (;;) {
    IppValues values;
    switch (ReadIppGroup(reader, wanted, values)) {
      case kIppGroup: groups.push_back(std::move(values)); break;
      case kIppEnd: return groups;
      case kIppNotWellFormed: return std::nullopt;
    }
  }
}

std::optional<long long> IppInteger(const std::optional<std::string_view>& value) {
  if (!value || value->size() != 4) return std::nullopt;
  std::uint32_t bits = 0;
  for (char byte : *value) bits = (bits << 8) | static_cast<unsigned char>(byte);
  return static_cast<long long>(static_cast<std::int32_t>(bits));
}

std::optional<bool> IppBoolean(const std::optional<std::string_view>& value) {
  if (!value || value->size() != 1) return std::nullopt;
  const unsigned char byte = static_cast<unsigned char>((*value)[0]);
  if (byte > 1) return std::nullopt;
  return byte == 1;
}
