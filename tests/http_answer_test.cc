// An HTTP answer read as it comes: however it is cut into pieces, and
// whether the connection may carry the next request.
#include <gtest/gtest.h>

#include "spooler/net/http_answer.h"

namespace {

// Feeds the bytes one at a time; the progress after the last one.
HttpProgress Trickled(HttpAnswer& answer, const std::string& bytes,
                      bool then_closed = false) {
  HttpProgress progress = kHttpMore;
  for (char byte : bytes) {
    answer.data += byte;
    progress = ReadHttpAnswer(answer, false);
    if (progress != kHttpMore) return progress;
  }
  return then_closed ? ReadHttpAnswer(answer, true) : progress;
}

TEST(HttpAnswer, ChunksAfterAContinueComeWholeByteByByteAndKeepTheConnection) {
  HttpAnswer answer;
  EXPECT_EQ(Trickled(answer,
                     "HTTP/1.1 100 Continue\r\n\r\n"
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "5\r\nhello\r\n6;x=y\r\n world\r\n0\r\n\r\n"),
            kHttpDone);
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(KeepsConnection(answer));
  EXPECT_EQ(TakeHttpBody(answer), "hello world");
}

TEST(HttpAnswer, OnlyAWholeHttp11AnswerOfKnownLengthKeepsTheConnection) {
  const std::string body = "\r\nabc";  // the head's end, and the body
  struct Case {
    std::string bytes;
    bool keeps;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n" + body, true},
      {"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n" + body, false},
      {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\n" + body, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + body, false},  // bytes after it
  };
  for (const Case& one : cases) {
    HttpAnswer answer;
    answer.data = one.bytes;
    ASSERT_EQ(ReadHttpAnswer(answer, false), kHttpDone) << one.bytes;
    EXPECT_EQ(KeepsConnection(answer), one.keeps) << one.bytes;
  }
  // Up to the close: whole only once the server has closed.
  HttpAnswer closing;
  EXPECT_EQ(Trickled(closing, "HTTP/1.1 200 OK\r\n" + body), kHttpMore);
  EXPECT_EQ(ReadHttpAnswer(closing, true), kHttpDone);
  EXPECT_FALSE(KeepsConnection(closing));
  EXPECT_EQ(TakeHttpBody(closing), "abc");
}

TEST(HttpAnswer, AnUpgradeRequiredIsDoneAtItsHeadAndCutOffBodiesFail) {
  HttpAnswer upgrade;
  upgrade.data =
      "HTTP/1.1 426 Upgrade Required\r\nUpgrade: TLS/1.2, HTTP/1.1\r\n"
      "Content-Length: 1000\r\n\r\n";
  EXPECT_EQ(ReadHttpAnswer(upgrade, false), kHttpDone);
  EXPECT_EQ(upgrade.status, 426);
  EXPECT_EQ(upgrade.upgrade, "tls/1.2, http/1.1");
  EXPECT_FALSE(KeepsConnection(upgrade));

  HttpAnswer cut;
  EXPECT_EQ(Trickled(cut, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", true),
            kHttpFailed);
  EXPECT_EQ(cut.status, 200);
}

}  // namespace
