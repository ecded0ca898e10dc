// Taking an HTTP answer apart without trusting it: every length is checked
// against what came and against the bounds before it is used.
#include "spooler/net/http_answer.h"

#include <string_view>
#include <utility>

#include "spooler/ascii_case.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

// A decimal number of at most 18 digits and nothing else; none otherwise.
std::optional<std::size_t> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

// Reads a head (status line and header fields, without the empty line that
// ends it) into the answer. False for a head that is not HTTP, or a body in
// an encoding that was not asked for.
bool ReadHead(std::string_view head, HttpAnswer& answer) {
  std::size_t end = head.find("\r\n");
  const std::string_view status_line = head.substr(0, end);
  if (status_line.size() < 12 || status_line.substr(0, 7) != "HTTP/1." ||
      status_line[8] != ' ') {
    return false;
  }
  const std::optional<std::size_t> code = Decimal(status_line.substr(9, 3));
  if (!code) return false;
  answer.status = static_cast<int>(*code);
  answer.http11 = status_line[7] == '1';
  answer.length.reset();
  answer.chunked = false;
  answer.closes = false;
  answer.upgrade.clear();
  while (end != std::string_view::npos) {
    const std::size_t start = end + 2;
    end = head.find("\r\n", start);
    const std::string_view line = head.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string name = AsciiLower(Trimmed(line.substr(0, colon)));
    const std::string value = AsciiLower(Trimmed(line.substr(colon + 1)));
    if (name == "content-length") {
      const std::optional<std::size_t> given = Decimal(value);
      if (!given || (answer.length && *answer.length != *given)) return false;
      answer.length = given;
    } else if (name == "transfer-encoding") {
      if (value == "chunked") {
        answer.chunked = true;
      } else if (value != "identity") {
        return false;
      }
    } else if (name == "content-encoding") {
      if (value != "identity") return false;
    } else if (name == "connection") {
      if (value.find("close") != std::string::npos) answer.closes = true;
    } else if (name == "upgrade") {
      answer.upgrade = value;
    }
  }
  return true;
}

// Decodes the chunks of a chunked body that have come, from data[at] on,
// onto the end of body, moving at past each whole chunk. 1 once the last
// chunk and the trailer have come, 0 while more is to come, -1 for bytes
// that are not chunks. Sets overrun for bytes after the trailer.
int DecodeChunks(std::string_view data, std::size_t& at, std::string& body,
                 bool& overrun) {
  for (;;) {
    const std::size_t line_end = data.find("\r\n", at);
    if (line_end == std::string_view::npos) {
      return data.size() - at > kMostChunkLineBytes ? -1 : 0;
    }
    std::string_view size_text = data.substr(at, line_end - at);
    size_text = Trimmed(size_text.substr(0, size_text.find(';')));
    if (size_text.empty() || size_text.size() > 8) return -1;
    std::size_t size = 0;
    for (char c : size_text) {
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return -1;
      size = size * 16 + static_cast<std::size_t>(digit);
    }
    if (size > kMostAnswerBytes) return -1;
    const std::size_t data_start = line_end + 2;
    if (size == 0) {
      // The last chunk: what follows is a trailer, ended by an empty line.
      std::size_t end = std::string_view::npos;
      if (data.compare(data_start, 2, "\r\n") == 0) {
        end = data_start + 2;
      } else {
        const std::size_t trailer_end = data.find("\r\n\r\n", data_start);
        if (trailer_end != std::string_view::npos) end = trailer_end + 4;
      }
      if (end != std::string_view::npos) {
        overrun = end < data.size();
        return 1;
      }
      return data.size() - data_start > kMostHeadBytes ? -1 : 0;
    }
    if (data.size() - data_start < size + 2) return 0;
    if (data.compare(data_start + size, 2, "\r\n") != 0) return -1;
    body.append(data.substr(data_start, size));
    if (body.size() > kMostAnswerBytes) return -1;
    at = data_start + size + 2;
  }
}

}  // namespace

HttpProgress ReadHttpAnswer(HttpAnswer& answer, bool closed) {
  // The head, after any number of informational ("1xx") ones.
  while (!answer.head_read) {
    const std::size_t end = answer.data.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (closed || answer.data.size() > kMostHeadBytes) return kHttpFailed;
      return kHttpMore;
    }
    if (end > kMostHeadBytes ||
        !ReadHead(std::string_view(answer.data).substr(0, end), answer)) {
      return kHttpFailed;
    }
    answer.data.erase(0, end + 4);
    if (answer.status < 100 || answer.status >= 200) {
      answer.head_read = true;
    }
  }
  if (answer.status != 200) return kHttpDone;

  if (answer.chunked) {
    const int done = DecodeChunks(answer.data, answer.chunk_at, answer.body,
                                  answer.overrun);
    if (done < 0) return kHttpFailed;
    if (done > 0) return kHttpDone;
    if (answer.chunk_at > kAnswerPieceBytes) {  // decoded: not kept twice
      answer.data.erase(0, answer.chunk_at);
      answer.chunk_at = 0;
    }
    return closed ? kHttpFailed : kHttpMore;
  }
  if (answer.length) {
    if (*answer.length > kMostAnswerBytes) return kHttpFailed;
    if (answer.data.size() >= *answer.length) {
      answer.overrun = answer.data.size() > *answer.length;
      answer.data.resize(*answer.length);
      return kHttpDone;
    }
    return closed ? kHttpFailed : kHttpMore;
  }
  // Neither: the body ends when the server closes the connection.
  if (answer.data.size() > kMostAnswerBytes) return kHttpFailed;
  return closed ? kHttpDone : kHttpMore;
}

std::string TakeHttpBody(HttpAnswer& answer) {
  return std::move(answer.chunked ? answer.body : answer.data);
}

bool KeepsConnection(const HttpAnswer& answer) {
  return answer.head_read && answer.status == 200 && answer.http11 &&
         !answer.closes && !answer.overrun &&
         (answer.chunked || answer.length.has_value());
}
