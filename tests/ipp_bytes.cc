#include "ipp_bytes.h"

#include <cstring>
#include <utility>

namespace {

ssize_t Append(void* data, ipp_uchar_t* bytes, size_t length) {
  static_cast<std::string*>(data)->append(reinterpret_cast<char*>(bytes),
                                          length);
  return static_cast<ssize_t>(length);
}

ssize_t Take(void* data, ipp_uchar_t* bytes, size_t length) {
  auto& source = *static_cast<std::pair<const std::string*, size_t>*>(data);
  const size_t left = source.first->size() - source.second;
  const size_t taken = length < left ? length : left;
  std::memcpy(bytes, source.first->data() + source.second, taken);
  source.second += taken;
  return static_cast<ssize_t>(taken);
}

}  // namespace

IppMessage IppAnswer(ipp_status_t status) {
  IppMessage answer(ippNew(), &ippDelete);
  ippSetStatusCode(answer.get(), status);
  ippSetRequestId(answer.get(), 1);
  ippAddString(answer.get(), IPP_TAG_OPERATION, IPP_TAG_CHARSET,
               "attributes-charset", nullptr, "utf-8");
  ippAddString(answer.get(), IPP_TAG_OPERATION, IPP_TAG_LANGUAGE,
               "attributes-natural-language", nullptr, "en");
  return answer;
}

std::string IppBytes(ipp_t* message) {
  std::string bytes;
  ippSetState(message, IPP_STATE_IDLE);
  ippWriteIO(&bytes, &Append, 1, nullptr, message);
  return bytes;
}

IppMessage IppFromBytes(const std::string& bytes) {
  IppMessage message(ippNew(), &ippDelete);
  std::pair<const std::string*, size_t> source(&bytes, 0);
  if (ippReadIO(&source, &Take, 1, nullptr, message.get()) != IPP_STATE_DATA) {
    message.reset();
  }
  return message;
}
