// CONNECT tunnels through the whole proxy on 127.0.0.1: bytes both ways against peers written
// here, remote proxies that open or refuse, the failure answers, the log block and Abort.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/listener.h"
#include "proxies/proxy_list.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;
using test::RawClient;
using test::wait_until;

const std::string kOpened = "HTTP/1.0 200 Connection established\r\n\r\n";

// Reads until the peer closes; with `head`, only up to the end of a request head.
std::string read_from(int fd, bool head = false) {
  std::string data;
  char c;
  while (!(head && data.find("\r\n\r\n") != std::string::npos) && recv(fd, &c, 1, 0) == 1) {
    data += c;
  }
  return data;
}

std::string echo(int fd) {
  char buffer[65536];
  for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    if (!test::send_all(fd, std::string(buffer, static_cast<size_t>(got)))) break;
  }
  return "";
}

std::string connect_line(uint16_t port) {
  const std::string target = "127.0.0.1:" + std::to_string(port);
  return "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n";
}

class Tunnel : public test::ProxyTest {};

// A site that speaks first and closes before the browser answers (the browser closing first,
// its early bytes in the packet of its head, is the case of ten mebibytes below); then Abort on
// an open tunnel.
TEST_F(Tunnel, MovesBytesInEitherCloseOrderUntilAborted) {
  OriginServer first([](int fd) {
    test::send_all(fd, "hello from the site");
    shutdown(fd, SHUT_WR);
    return read_from(fd);
  });
  RawClient second(port_);
  second.send(connect_line(first.port()));
  EXPECT_EQ(second.read_at_least(kOpened.size() + 19), kOpened + "hello from the site");
  second.send("answer after the site closed");
  second.shutdown_send();
  ASSERT_TRUE(first.wait_for_requests(1));
  EXPECT_EQ(first.requests()[0], "answer after the site closed");
  second.read_all();
  EXPECT_TRUE(second.closed());

  OriginServer echoing(echo);
  set_listener_start_pause(200);
  RawClient held(port_);
  held.send(connect_line(echoing.port()) + "x");
  EXPECT_EQ(held.read_at_least(kOpened.size() + 1), kOpened + "x");
  EXPECT_TRUE(wait_until([] { return active_connections() == 1; }));
  restart_listener();
  held.read_all(10000);
  EXPECT_TRUE(held.closed());
  EXPECT_TRUE(wait_until([] { return active_connections() == 0; }));
}

TEST_F(Tunnel, TenMebibytesEachWayAndTheLogBlock) {
  OriginServer echoing(echo);
  std::string data(10 * 1024 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4093);
  RawClient browser(port_);
  std::thread sender([&] {
    browser.send(connect_line(echoing.port()) + data);
    browser.shutdown_send();
  });
  std::string got = browser.read_all(60000);
  sender.join();
  EXPECT_TRUE(got == kOpened + data) << got.size();
  ASSERT_TRUE(wait_for_closes(1));

  const std::string number = lines_starting("W+++GET ")[0].substr(8);  // "N+++"
  const std::string target = "127.0.0.1:" + std::to_string(echoing.port());
  const std::vector<std::string> expected = {
      "W",
      "W+++GET " + number,
      "GCONNECT " + target + " HTTP/1.1",
      "GHost: " + target,
      "W",
      "W+++RESP " + number,
      "YHTTP/1.0 200 Connection established",
      "W+++CLOSE " + number + " 10485760 bytes to the site, 10485760 bytes to the browser"};
  std::vector<std::string> lines = frontend_.lines();
  lines.erase(lines.begin(), lines.end() - static_cast<long>(expected.size()));
  EXPECT_EQ(lines, expected);
}

TEST_F(Tunnel, RemoteProxyOpensOrRefusesTheTunnel) {
  // The remote proxy's answer (the refusing one keeps its connection open after the body it
  // announced), which the browser receives as it is.
  const std::string answers[] = {"HTTP/1.1 200 Connection established\r\nVia: test\r\n\r\n",
                                 "HTTP/1.1 403 Forbidden\r\nContent-Length: 7\r\n\r\nrefused"};
  for (const std::string& answer : answers) {
    SCOPED_TRACE(answer);
    const bool opens = answer.find(" 200 ") != std::string::npos;
    std::atomic<bool> done{false};
    OriginServer remote([&](int fd) {
      std::string head = read_from(fd, true);
      test::send_all(fd, answer);
      if (opens) {
        echo(fd);
      } else {
        wait_until([&] { return done.load(); });
      }
      return head;
    });
    std::string host = "localhost";
    ProxyEntry entry{0, host.data(), remote.port(), 0, nullptr};
    current_proxy.store(&entry);
    RawClient browser(port_);
    browser.send(
        "CONNECT site.example:443 HTTP/1.1\r\nHost: site.example:443\r\n"
        "Proxy-Connection: keep-alive\r\n\r\nping");
    browser.shutdown_send();
    EXPECT_EQ(browser.read_all(), opens ? answer + "ping" : answer);
    done = true;
    ASSERT_TRUE(remote.wait_for_requests(1));
    EXPECT_EQ(remote.requests()[0],
              "CONNECT site.example:443 HTTP/1.0\r\nHost: site.example:443\r\n\r\n");
    ASSERT_TRUE(wait_until([] { return active_connections() == 0; }));
    current_proxy.store(nullptr);
  }
}

// Failed look-ups and connects answer 502; a target that is not host:port answers 400 and
// never reaches the server it may name.
TEST_F(Tunnel, FailuresAnswerWithAStatusAndThePage) {
  OriginServer untouched([](int fd) { return read_from(fd); });
  const std::string at = "127.0.0.1:" + std::to_string(untouched.port());
  const std::string unknown = std::string(70, 'x') + ".invalid";
  const std::string bad = "HTTP/1.0 400 Bad Request\r\n\r\n";
  // The request line, the answer's head and what its page shows.
  const std::vector<std::vector<std::string>> cases = {
      {"CONNECT " + unknown + ":443 HTTP/1.1", "HTTP/1.0 502 Host Not Found\r\n\r\n", unknown},
      {"CONNECT 127.0.0.1:" + std::to_string(test::closed_port()) + " HTTP/1.1",
       "HTTP/1.0 502 Bad Gateway\r\n\r\n", "Error connecting to site"},
      {"CONNECT 127.0.0.1 HTTP/1.1", bad, "127.0.0.1"},
      {"CONNECT 127.0.0.1:0 HTTP/1.1", bad, "127.0.0.1:0"},
      {"CONNECT 127.0.0.1:65536 HTTP/1.1", bad, "127.0.0.1:65536"},
      {"CONNECT http://" + at + "/ HTTP/1.1", bad, "http://" + at + "/"},
      {"CONNECT " + at, bad, "Bad secure site address"},
      {"CONNECT 127.0.0.1:<b>443 HTTP/1.1", bad, "127.0.0.1:&lt;b&gt;443"}};
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c[0]);
    std::string reply = test::exchange(port_, c[0] + "\r\n\r\n");
    EXPECT_EQ(reply.rfind(c[1], 0), 0u) << reply.substr(0, 60);
    EXPECT_NE(reply.find(c[2]), std::string::npos);
    EXPECT_NE(reply.find("</body></html>\n"), std::string::npos);
  }
  EXPECT_TRUE(frontend_.has_line("YHTTP/1.0 400 Bad Request"));
  EXPECT_TRUE(wait_for_closes(cases.size()));
  EXPECT_EQ(untouched.connections(), 0);
}

}  // namespace
}  // namespace kw
