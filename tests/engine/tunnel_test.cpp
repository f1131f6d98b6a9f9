// CONNECT tunnels through the whole proxy on 127.0.0.1: bytes both ways against peers written
// here (an echo, one that speaks first, remote proxies that open or refuse), a real TLS server
// fetched with curl (and a real browser where one is installed), the failure answers, the log
// block and killing an open tunnel.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/listener.h"
#include "platform/process.h"
#include "proxies/proxy_list.h"
#include "support/files.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;
using test::RawClient;
using test::wait_until;

constexpr char kOpened[] = "HTTP/1.0 200 Connection established\r\n\r\n";

// Reads until the peer closes or fails.
std::string read_to_end(int fd) {
  std::string data;
  char buffer[65536];
  for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    data.append(buffer, static_cast<size_t>(got));
  }
  return data;
}

// Reads a request head up to its empty line, byte by byte so nothing after it is taken.
std::string read_head(int fd) {
  std::string head;
  char c;
  while (head.find("\r\n\r\n") == std::string::npos && recv(fd, &c, 1, 0) == 1) head += c;
  return head;
}

void echo(int fd) {
  char buffer[65536];
  for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    if (!test::send_all(fd, std::string(buffer, static_cast<size_t>(got)))) return;
  }
}

std::string connect_line(uint16_t port) {
  return "CONNECT 127.0.0.1:" + std::to_string(port) + " HTTP/1.1\r\nHost: 127.0.0.1:" +
         std::to_string(port) + "\r\n\r\n";
}

class Tunnel : public test::ProxyTest {};

// An echo served with the browser's early bytes in the packet of its head, then the browser
// half-closes first; and a peer that speaks first and half-closes before the browser answers.
TEST_F(Tunnel, MovesBytesBothWaysUnchangedInEitherCloseOrder) {
  OriginServer echoing([](int fd) {
    echo(fd);
    return std::string();
  });
  RawClient browser(port_);
  browser.send(connect_line(echoing.port()) + "early bytes|");
  EXPECT_EQ(browser.read_at_least(sizeof kOpened - 1 + 12), kOpened + std::string("early bytes|"));
  browser.send(std::string("\0\xff later", 8));
  browser.shutdown_send();
  EXPECT_EQ(browser.read_all(), std::string("\0\xff later", 8));
  EXPECT_TRUE(browser.closed());

  OriginServer first([](int fd) {
    test::send_all(fd, "hello from the site");
    shutdown(fd, SHUT_WR);
    return read_to_end(fd);
  });
  RawClient second(port_);
  second.send(connect_line(first.port()));
  EXPECT_EQ(second.read_at_least(sizeof kOpened - 1 + 19), kOpened + std::string("hello from the site"));
  second.send("answer after the site closed");
  second.shutdown_send();
  ASSERT_TRUE(first.wait_for_requests(1));
  EXPECT_EQ(first.requests()[0], "answer after the site closed");
  second.read_all();
  EXPECT_TRUE(second.closed());
}

TEST_F(Tunnel, TenMebibytesEachWayAndTheLogBlock) {
  OriginServer echoing([](int fd) {
    echo(fd);
    return std::string();
  });
  std::string data(10 * 1024 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4093);
  RawClient browser(port_);
  std::thread sender([&] {
    browser.send(connect_line(echoing.port()) + data);
    browser.shutdown_send();
  });
  std::string got = browser.read_all(60000);
  sender.join();
  ASSERT_EQ(got.size(), sizeof kOpened - 1 + data.size());
  EXPECT_TRUE(got == kOpened + data);
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
  ASSERT_GE(lines.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<long>(expected.size()), lines.end()),
            expected);
}

// A TLS server made here with a self-signed certificate, fetched by curl and, where one is
// installed, by a headless browser, both set to the proxy for every scheme.
TEST_F(Tunnel, SecurePageArrivesThroughTheTunnel) {
  if (std::system("command -v openssl > /dev/null") != 0) GTEST_SKIP() << "no openssl";
  char dir_template[] = "/tmp/kw-tunnel-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  const std::string page = "<html><body>secure page through the tunnel</body></html>\n";
  test::write_file(dir + "/index.html", page);
  ASSERT_EQ(std::system(("cd " + dir +
                         " && openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
                         "/CN=127.0.0.1 -keyout key.pem -out cert.pem 2> /dev/null")
                            .c_str()),
            0);
  const uint16_t tls_port = test::closed_port();
  ChildProcess server;
  ASSERT_TRUE(ChildProcess::spawn(
      {"sh", "-c",
       "cd " + dir + " && exec openssl s_server -quiet -WWW -cert cert.pem -key key.pem -accept " +
           "127.0.0.1:" + std::to_string(tls_port) + " > /dev/null 2>&1"},
      &server));
  ASSERT_TRUE(wait_until([&] { return RawClient(tls_port).connected(); }));
  const std::string url = "https://127.0.0.1:" + std::to_string(tls_port) + "/index.html";
  int status = -1;
  EXPECT_EQ(test::curl_through(port_, url, 20, &status, "--insecure"), page);
  EXPECT_EQ(status, 0);

  if (std::system("command -v chromium > /dev/null") == 0) {
    // Loopback goes through the proxy too; the browser's own background fetches go nowhere.
    FILE* browser = popen(("chromium --headless --no-sandbox --disable-gpu --dump-dom "
                           "--ignore-certificate-errors --user-data-dir=" + dir +
                           "/profile --proxy-server=http://127.0.0.1:" + std::to_string(port_) +
                           " --proxy-bypass-list='*.com;*.net;<-loopback>' --host-resolver-rules="
                           "'MAP * ~NOTFOUND , EXCLUDE 127.0.0.1' " + url + " 2> /dev/null")
                              .c_str(),
                          "r");
    std::string dom;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, browser)) > 0;) dom.append(buffer, got);
    pclose(browser);
    EXPECT_NE(dom.find("secure page through the tunnel"), std::string::npos) << dom;
    EXPECT_TRUE(frontend_.has_line("YHTTP/1.0 200 Connection established"));
  }
  server.terminate();
  wait_until([&] { return !server.running(); });
  std::system(("rm -rf " + dir).c_str());
}

TEST_F(Tunnel, RemoteProxyOpensOrRefusesTheTunnel) {
  struct Case {
    std::string answer;  // the remote proxy's answer head (and body)
    std::string browser_sees;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 Connection established\r\nVia: test\r\n\r\n",
       "HTTP/1.1 200 Connection established\r\nVia: test\r\n\r\nping"},
      // The refusing proxy keeps its connection open after the body it announced.
      {"HTTP/1.1 403 Forbidden\r\nContent-Length: 7\r\n\r\nrefused",
       "HTTP/1.1 403 Forbidden\r\nContent-Length: 7\r\n\r\nrefused"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    std::atomic<bool> done{false};
    OriginServer remote([&](int fd) {
      std::string head = read_head(fd);
      test::send_all(fd, c.answer);
      if (c.answer.find(" 200 ") != std::string::npos) {
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
        "CONNECT site.example:443 HTTP/1.1\r\nHost: site.example:443\r\nProxy-Connection: "
        "keep-alive\r\n\r\nping");
    browser.shutdown_send();
    EXPECT_EQ(browser.read_all(), c.browser_sees);
    done = true;
    ASSERT_TRUE(remote.wait_for_requests(1));
    EXPECT_EQ(remote.requests()[0],
              "CONNECT site.example:443 HTTP/1.0\r\nHost: site.example:443\r\n\r\n");
    ASSERT_TRUE(wait_until([] { return active_connections() == 0; }));
    current_proxy.store(nullptr);
  }
  EXPECT_TRUE(frontend_.has_line("YHTTP/1.1 403 Forbidden"));
}

// Failed look-ups and connects answer 502; a target that is not host:port answers 400 and
// never reaches the server it may name.
TEST_F(Tunnel, FailuresAnswerWithAStatusAndThePage) {
  OriginServer untouched([](int fd) { return read_to_end(fd); });
  const std::string port = std::to_string(untouched.port());
  const std::string unknown = std::string(70, 'x') + ".invalid";
  struct Case {
    std::string request_line;
    std::string head;
    std::string page_shows;
  };
  const std::string bad = "HTTP/1.0 400 Bad Request\r\n\r\n";
  const Case cases[] = {
      {"CONNECT " + unknown + ":443 HTTP/1.1", "HTTP/1.0 502 Host Not Found\r\n\r\n", unknown},
      {"CONNECT 127.0.0.1:" + std::to_string(test::closed_port()) + " HTTP/1.1",
       "HTTP/1.0 502 Bad Gateway\r\n\r\n", "Error connecting to site"},
      {"CONNECT 127.0.0.1 HTTP/1.1", bad, "127.0.0.1"},
      {"CONNECT 127.0.0.1:0 HTTP/1.1", bad, "127.0.0.1:0"},
      {"CONNECT 127.0.0.1:65536 HTTP/1.1", bad, "127.0.0.1:65536"},
      {"CONNECT 127.0.0.1:" + port + "x HTTP/1.1", bad, "Bad secure site address"},
      {"CONNECT :" + port + " HTTP/1.1", bad, ":" + port},
      {"CONNECT http://127.0.0.1:" + port + " HTTP/1.1", bad, "http://127.0.0.1:" + port},
      {"CONNECT 127.0.0.1:" + port + "/ HTTP/1.1", bad, "Bad secure site address"},
      {"CONNECT 127.0.0.1:" + port, bad, "Bad secure site address"},
      {"CONNECT 127.0.0.1:<b>" + port + " HTTP/1.1", bad, "127.0.0.1:&lt;b&gt;"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request_line);
    std::string reply = test::exchange(port_, c.request_line + "\r\n\r\n");
    EXPECT_EQ(reply.rfind(c.head, 0), 0u) << reply.substr(0, 60);
    EXPECT_NE(reply.find(c.page_shows), std::string::npos);
    EXPECT_NE(reply.find("</body></html>\n"), std::string::npos);
  }
  EXPECT_TRUE(frontend_.has_line("YHTTP/1.0 400 Bad Request"));
  EXPECT_TRUE(wait_for_closes(std::size(cases)));
  EXPECT_EQ(untouched.connections(), 0);
}

TEST_F(Tunnel, AbortEndsAnOpenTunnel) {
  set_listener_start_pause(200);
  OriginServer echoing([](int fd) {
    echo(fd);
    return std::string();
  });
  RawClient browser(port_);
  browser.send(connect_line(echoing.port()) + "x");
  EXPECT_EQ(browser.read_at_least(sizeof kOpened), kOpened + std::string("x"));
  EXPECT_EQ(active_connections(), 1);
  restart_listener();
  browser.read_all(10000);
  EXPECT_TRUE(browser.closed());
  EXPECT_TRUE(wait_until([] { return active_connections() == 0; }));
  EXPECT_TRUE(wait_for_closes(1));
}

}  // namespace
}  // namespace kw
