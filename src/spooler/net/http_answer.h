// An HTTP answer read as its bytes come, from memory: the head (after any
// number of informational ones), then the body however it is framed, with
// every size bounded.
#ifndef QUELVARO_SPOOLER_NET_HTTP_ANSWER_H
#define QUELVARO_SPOOLER_NET_HTTP_ANSWER_H

#include <cstddef>
#include <optional>
#include <string>

#include "spooler/run_limits.h"

enum HttpProgress {
  kHttpMore,     // more bytes are needed
  kHttpDone,     // the answer is whole (or, for a status other than 200, its
                 // head is: the body is not read)
  kHttpFailed,   // the bytes are no HTTP answer, or too large, or cut short
};

// An answer being read. The caller appends what the connection gives to
// `data` and calls ReadHttpAnswer after each piece.
struct HttpAnswer {
  std::string data;            // bytes not yet taken apart
  bool head_read = false;      // the final (non-1xx) head has come
  int status = 0;              // its status; 0 until then
  std::optional<std::size_t> length;  // Content-Length, when given
  bool chunked = false;
  bool closes = false;         // the server said it closes the connection
  bool http11 = false;         // the server speaks HTTP/1.1
  std::string upgrade;         // the Upgrade field, in lower case
  std::string body;            // a chunked body, decoded so far
  std::size_t chunk_at = 0;    // where in data the next chunk starts
  bool overrun = false;        // bytes came after the answer's end
};

// Reads what has come: closed says the server has closed the connection, so
// no more bytes will. Bodies come in Content-Length, chunked, or up to the
// close; an encoding that was not asked for, a head over 64 KiB or a body
// over kMostAnswerBytes fails.
HttpProgress ReadHttpAnswer(HttpAnswer& answer, bool closed);

// The body of a whole "200" answer.
std::string TakeHttpBody(HttpAnswer& answer);

// Whether the connection may carry another request after this whole
// answer: HTTP/1.1, not closed by the server, a body framed by its length or
// by chunks, and nothing sent beyond it.
bool KeepsConnection(const HttpAnswer& answer);

#endif  // QUELVARO_SPOOLER_NET_HTTP_ANSWER_H
