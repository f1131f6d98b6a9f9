// Malformed, hostile and unfinished requests end the connection without a reply and without
// harm: the proxy goes on serving.
#include <gtest/gtest.h>

#include <string>

#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::RawClient;

std::string endless_header_lines() {
  std::string lines = "GET http://127.0.0.1/ HTTP/1.0\r\n";
  for (int i = 0; i < 5000; ++i) lines += "X-" + std::to_string(i) + ": v\r\n";
  return lines;
}

using Hostile = test::ProxyTest;

TEST_F(Hostile, RequestsCloseWithoutAReplyAndTheProxyServesOn) {
  const std::pair<const char*, std::string> cases[] = {
      {"garbage", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) +
                      std::string(500, '\xee') + "\r\n\r\n"},
      {"origin form", "GET /index.html HTTP/1.1\r\nHost: h\r\n\r\n"},
      {"NUL in the URL", std::string("GET http://h\0/ HTTP/1.0\r\n\r\n", 27)},
      {"NUL in a name", std::string("GET http://h/ HTTP/1.0\r\nX\0: v\r\n\r\n", 34)},
      {"100 KB request line", "GET http://h/" + std::string(100 * 1024, 'a') + " HTTP/1.0\r\n\r\n"},
      {"100 KB header line",
       "GET http://h/ HTTP/1.0\r\nX: " + std::string(100 * 1024, 'b') + "\r\n\r\n"},
      {"endless header lines", endless_header_lines()},
      {"empty line", "\r\n"},
      {"closed before the request ends", "GET http://127.0.0.1/ HTTP/1.0\r\nX-Partial: "}};
  test::OriginServer origin("HTTP/1.0 200 OK\r\n\r\nstill here");
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    frontend_.clear();
    RawClient client(port_);
    client.send(bytes);
    client.shutdown_send();
    EXPECT_EQ(client.read_all(), "");
    EXPECT_TRUE(client.closed());
    EXPECT_TRUE(wait_for_closes(1));
    EXPECT_TRUE(lines_starting("W+++GET").empty());
    EXPECT_EQ(get(origin), "HTTP/1.0 200 OK\r\n\r\nstill here");
    ASSERT_TRUE(wait_for_closes(2));
  }
}

}  // namespace
}  // namespace kw
