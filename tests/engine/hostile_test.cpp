// Malformed and hostile requests end the connection without a reply and without harm: the
// proxy goes on serving.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::RawClient;

struct HostileCase {
  const char* name;
  std::string bytes;
};

std::string endless_header_lines() {
  std::string lines = "GET http://127.0.0.1/ HTTP/1.0\r\n";
  for (int i = 0; i < 5000; ++i) lines += "X-" + std::to_string(i) + ": v\r\n";
  return lines;
}

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class Hostile : public test::ProxyTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(Hostile, ClosesWithoutAReply) {
  RawClient client(port_);
  client.send(GetParam().bytes);
  EXPECT_EQ(client.read_all(), "");
  EXPECT_TRUE(client.closed());
  EXPECT_TRUE(wait_for_closes(1));
  EXPECT_TRUE(lines_starting("W+++GET").empty());

  test::OriginServer origin("HTTP/1.0 200 OK\r\n\r\nstill here");
  EXPECT_EQ(test::exchange(port_, "GET " + origin.url("/") + " HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 200 OK\r\n\r\nstill here");
}

const HostileCase kHostileCases[] = {
    {"Garbage", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) +
                    std::string(500, '\xee') + "\r\n\r\n"},
    {"OriginForm", "GET /index.html HTTP/1.1\r\nHost: h\r\n\r\n"},
    {"NulBytes", std::string("GET http://h\0/ HTTP/1.0\r\n\r\n", 27)},
    {"NulInHeaderName", std::string("GET http://h/ HTTP/1.0\r\nX\0: v\r\n\r\n", 34)},
    {"HundredKilobyteRequestLine",
     "GET http://h/" + std::string(100 * 1024, 'a') + " HTTP/1.0\r\n\r\n"},
    {"HundredKilobyteHeaderLine",
     "GET http://h/ HTTP/1.0\r\nX: " + std::string(100 * 1024, 'b') + "\r\n\r\n"},
    {"EndlessHeaderLines", endless_header_lines()},
    {"EmptyLine", "\r\n"}};

INSTANTIATE_TEST_SUITE_P(Table, Hostile, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return std::string(info.param.name); });

class HostileClient : public test::ProxyTest {};

TEST_F(HostileClient, ClosingBeforeTheRequestEndsQuietly) {
  {
    RawClient client(port_);
    client.send("GET http://127.0.0.1/ HTTP/1.0\r\nX-Partial: ");
  }
  EXPECT_TRUE(wait_for_closes(1));
  EXPECT_TRUE(test::wait_until([] { return active_connections() == 0; }));
}

TEST_F(HostileClient, ManyConnectionsAtOnceAreAllServed) {
  test::OriginServer origin("HTTP/1.0 200 OK\r\n\r\nok");
  std::vector<std::thread> clients;
  std::atomic<int> served{0};
  for (int i = 0; i < 40; ++i) {
    clients.emplace_back([&] {
      if (test::exchange(port_, "GET " + origin.url("/") + " HTTP/1.0\r\n\r\n") ==
          "HTTP/1.0 200 OK\r\n\r\nok") {
        ++served;
      }
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(served.load(), 40);
  EXPECT_TRUE(test::wait_until([] { return active_connections() == 0; }));
}

}  // namespace
}  // namespace kw
