// The buffered stream operations: bytes read ahead stay first in line for every later read or
// relay, whatever the cuts of the stream, and an early end or a failed send is reported.
#include <gtest/gtest.h>

#include <string>

#include "fed_message.h"
#include "http/http_message.h"

namespace kw {
namespace {

using test::FedMessage;
using test::SinkMessage;

TEST(Stream, PeekLeavesBytesUnreadAndReadBytesTakesExactCounts) {
  for (size_t cut : {1u, 3u, 100u}) {
    FedMessage fed(FedMessage::cut("abcdefghij", cut));
    char out[16];
    // A peek receives only into an empty buffer: it sees at most what one receive brought.
    EXPECT_EQ(peek_bytes(&fed.msg, out, 2), cut == 1 ? 1 : 2);
    EXPECT_STREQ(out, cut == 1 ? "a" : "ab");
    EXPECT_EQ(read_bytes(&fed.msg, out, 0), 0);
    EXPECT_EQ(read_bytes(&fed.msg, out, 4), 4);
    EXPECT_EQ(std::string(out, 4), "abcd");
    EXPECT_LT(read_bytes(&fed.msg, out, 7), 1);  // only six are left
    EXPECT_EQ(peek_bytes(&fed.msg, out, 5), 0) << "the stream has ended";
    EXPECT_STREQ(out, "");
  }
}

TEST(Stream, RelayBytesMovesExactlyNOrFailsWhenTheStreamEndsFirst) {
  FedMessage fed(FedMessage::cut("0123456789", 3));
  SinkMessage sink;
  char out[4];
  ASSERT_EQ(read_bytes(&fed.msg, out, 2), 2);
  EXPECT_EQ(relay_bytes(&fed.msg, &sink.msg, 0), 0);
  EXPECT_EQ(relay_bytes(&fed.msg, &sink.msg, 5), 5);
  EXPECT_EQ(sink.received(), "23456");
  EXPECT_EQ(fed.rest(), "789");

  FedMessage short_body({"abc"});
  SinkMessage other;
  EXPECT_EQ(relay_bytes(&short_body.msg, &other.msg, 4), 0);
}

TEST(Stream, RelayToEndSendsBufferedBytesFirstThenEverything) {
  std::string body;
  for (int i = 0; body.size() < 300000; ++i) body += std::to_string(i) + " ";
  for (size_t cut : {7u, 2048u}) {
    FedMessage fed(FedMessage::cut("HTTP/1.0 200 OK\r\n\r\n" + body, cut));
    SinkMessage sink;
    ASSERT_EQ(parse_status_line(&fed.msg), 1);
    ASSERT_EQ(parse_headers(&fed.msg), 1);
    EXPECT_EQ(relay_to_end(&fed.msg, &sink.msg), static_cast<int64_t>(body.size()));
    EXPECT_EQ(sink.received(), body);
  }
  FedMessage fed({std::string(1000, 'a'), std::string(1000, 'b')});
  HttpMessage closed{};
  Socket none = kNoSocket;
  closed.socket = &none;
  EXPECT_EQ(relay_to_end(&fed.msg, &closed), 0) << "a failed send is reported";
}

}  // namespace
}  // namespace kw
