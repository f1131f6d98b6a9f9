// The whole proxy over 127.0.0.1: a real listener, origin servers and peers written for the
// tests and raw clients. Checks the exact bytes that go upstream and come back, in requests and
// CONNECT tunnels, the error pages, the log lines, hostile requests and killing all connections.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "engine/generated_pages.h"
#include "engine/listener.h"
#include "proxies/proxy_list.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;
using test::RawClient;
using test::ReplyPiece;
using test::split_reply;
using test::wait_until;

const std::string kPlainReply = "HTTP/1.1 200 OK\r\nX-Served: yes\r\n\r\nthe body";
// A host name that fails to look up without asking any name server: its first label is longer
// than a name's label may be.
const std::string kUnknownHost = std::string(70, 'x') + ".invalid";

std::string page(const char* page_text, const std::string& inserted) {
  std::string text(page_text);
  size_t mark = text.find("%s");
  return std::string(kHostNotFoundHead) +
         "<html><head><title>The Kestrelwick Reveals...</title>\n<base href=\"" +
         test::directory_url() +
         "html/ProxyLogo.jpg\"></head>\n<body text=#00ff00 bgcolor=#330044 "
         "background=\"Gradient.gif\">\n<table border=0 cellspacing=0 cellpadding=0 "
         "bgcolor=#000000 width=100%>\n<tr><td valign=top>\n<img src=\"ProxyLogo.jpg\" border=0 "
         "hspace=0 vspace=0 align=left>\n<table border=0 cellpadding=4><tr><td valign=top>" +
         text.substr(0, mark) + inserted + text.substr(mark + 2) +
         "</td></tr></table>\n</td></tr></table>\n</body></html>\n";
}

using ProxyExchange = test::ProxyTest;

TEST_F(ProxyExchange, UpstreamGetsHttp10WithTheHeadersInOrder) {
  std::string body(100000, 'p');
  for (size_t i = 0; i < body.size(); i += 7) body[i] = static_cast<char>('a' + i % 26);
  // The request with the origin's "http://127.0.0.1:PORT" inserted before each path, and what
  // the origin must receive.
  const std::pair<std::string, std::string> cases[] = {
      {"GET /a/b?q=1#frag HTTP/1.1\r\nHost: h\r\nProxy-Connection: keep-alive\r\nAccept: */*\r\n"
       "Proxy-Connection: second\r\n\r\n",
       "GET /a/b?q=1#frag HTTP/1.0\r\nHost: h\r\nAccept: */*\r\nProxy-Connection: second\r\n\r\n"},
      {"GET /old\r\n\r\n", "GET /old HTTP/1.0\r\n\r\n"},
      // A second request on one connection is never read.
      {"GET /one HTTP/1.0\r\n\r\nGET /two HTTP/1.0\r\n\r\n", "GET /one HTTP/1.0\r\n\r\n"},
      {"GET / HTTP/1.0\nX-Long:  one \r\n\ttwo\rC: 3\r\n\r\n",
       "GET / HTTP/1.0\r\nX-Long: one two\r\nC: 3\r\n\r\n"},
      {"POST /form HTTP/1.1\r\nContent-Length: 11\r\n\r\nhello worldNOT-SENT",
       "POST /form HTTP/1.0\r\nContent-Length: 11\r\n\r\nhello world"},
      {"POST /form HTTP/1.1\r\n\r\nbody", "POST /form HTTP/1.0\r\n\r\n"},
      {"POST /up HTTP/1.0\r\nContent-Length: 100000\r\n\r\n" + body,
       "POST /up HTTP/1.0\r\nContent-Length: 100000\r\n\r\n" + body},
      {"POST /form HTTP/1.1\r\nContent-length: 0\r\n\r\n",
       "POST /form HTTP/1.0\r\nContent-length: 0\r\n\r\n"}};
  for (const auto& [sent, upstream] : cases) {
    SCOPED_TRACE(sent.substr(0, 60));
    OriginServer origin(kPlainReply);
    std::string request = sent;
    for (size_t at = 0; (at = request.find(" /", at)) != std::string::npos; at += 2) {
      request.insert(at + 1, origin.url(""));
    }
    EXPECT_EQ(test::exchange(port_, request), kPlainReply);
    ASSERT_TRUE(origin.wait_for_requests(1));
    EXPECT_EQ(origin.requests()[0], upstream);
    EXPECT_EQ(origin.connections(), 1);
  }
  EXPECT_TRUE(frontend_.has_line("GPosting 100000 bytes..."));
}

TEST_F(ProxyExchange, RepliesReachTheBrowserByteForByte) {
  std::string large = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";
  for (int i = 0; large.size() < 3 * 1024 * 1024; ++i) large += std::to_string(i) + ",";
  const std::string short_body =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\nonly part";
  // The server's script and what the browser receives.
  const std::pair<std::vector<ReplyPiece>, std::string> cases[] = {
      {split_reply(kPlainReply, 1, 2), kPlainReply},
      {split_reply("HTTP09 body", 1, 2), "HTTP09 body"},
      {{{short_body, 0}}, short_body},  // the server closes mid-body
      {{{"HTTP/1.0 204 No Content\nX: 1\n\n", 0}}, "HTTP/1.0 204 No Content\r\nX: 1\r\n\r\n"},
      {split_reply(large, 100000), large},
      // Unreadable replies end the connection.
      {{{"HTTP/1.0 200\r\n\r\nbody", 0}}, ""},
      {{{"HTTP/1.0 200 OK\r\nNo colon here\r\n\r\nbody", 0}}, ""}};
  for (const auto& [script, expected] : cases) {
    SCOPED_TRACE(script[0].bytes.substr(0, 40));
    OriginServer origin(script);
    EXPECT_EQ(get(origin), expected);
  }
  // A status line that cannot be read is also a socket error naming the host; headers are not.
  ASSERT_TRUE(wait_for_closes(std::size(cases)));
  EXPECT_TRUE(frontend_.has_line("RMalformed reply!"));
  EXPECT_TRUE(frontend_.has_line("RError parsing HTTP reply headers"));
  const std::vector<std::string> errors = lines_starting("R** ");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(" for 127.0.0.1 **"), std::string::npos);
}

// A header line as long as a line may be is logged whole; with the headers category off the
// request and reply blocks go but the closing line stays (a whole block: the tunnel's case).
TEST_F(ProxyExchange, LongHeaderLinesAreLoggedWholeAndTheBlocksFollowTheCategory) {
  const std::string server(2036, 't');
  OriginServer origin("HTTP/1.1 404 Not Found\r\nServer: " + server + "\r\n\r\n");
  for (bool headers : {true, false}) {
    frontend_.clear();
    frontend_.set_category(kLogHttpHeaders, headers);
    get(origin);
    ASSERT_TRUE(wait_for_closes(1));
    EXPECT_EQ(frontend_.has_line("YServer: " + server), headers);
    EXPECT_EQ(lines_starting("W+++GET").size(), headers ? 1u : 0u);
  }
}

// Malformed, hostile and unfinished requests end the connection without a reply and without
// harm: the proxy goes on serving.
TEST_F(ProxyExchange, HostileRequestsCloseWithoutAReplyAndTheProxyServesOn) {
  std::string endless = "GET http://127.0.0.1/ HTTP/1.0\r\n";
  for (int i = 0; i < 5000; ++i) endless += "X-" + std::to_string(i) + ": v\r\n";
  const std::pair<const char*, std::string> cases[] = {
      {"garbage", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) +
                      std::string(500, '\xee') + "\r\n\r\n"},
      {"origin form", "GET /index.html HTTP/1.1\r\nHost: h\r\n\r\n"},
      {"NUL in the URL", std::string("GET http://h\0/ HTTP/1.0\r\n\r\n", 27)},
      {"100 KB request line", "GET http://h/" + std::string(100 * 1024, 'a') + " HTTP/1.0\r\n\r\n"},
      {"100 KB header line",
       "GET http://h/ HTTP/1.0\r\nX: " + std::string(100 * 1024, 'b') + "\r\n\r\n"},
      {"endless header lines", endless},
      {"closed before the request ends", "GET http://127.0.0.1/ HTTP/1.0\r\nX-Partial: "}};
  OriginServer origin(kPlainReply);
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
    EXPECT_EQ(get(origin), kPlainReply);
    ASSERT_TRUE(wait_for_closes(2));
  }
}

// A reload (Pragma: No-Cache) drops the conditional headers and Last-Modified, except for
// static files: those whose path ends in one of their extensions, in any case.
TEST_F(ProxyExchange, ReloadDropsConditionalHeadersOfPagesOnly) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"/index.html", "No-Cache", true}, {"/a.gif", "No-Cache", false},
      {"/dir/b.JPG", "no-cache", false}, {"/Applet.class", "No-Cache", false},
      {"/a.gif?x=1", "No-Cache", true},  {"/a.gif#top", "No-Cache", true},
      {"/a.classes", "No-Cache", true},  {"/.gif/x", "No-Cache", true},
      {"/gif", "No-Cache", true},        {"/p", "no-cache, x", false}};
  const std::string conditional = "If-Modified-Since: yesterday\r\nIf-None-Match: \"e\"\r\n";
  for (const auto& [path, pragma, reload] : cases) {
    SCOPED_TRACE(path);
    frontend_.clear();
    OriginServer origin("HTTP/1.0 200 OK\r\nLast-Modified: yesterday\r\nX: 1\r\n\r\n");
    const std::string reply =
        test::exchange(port_, "GET " + origin.url(path) + " HTTP/1.0\r\nPragma: " + pragma +
                                  "\r\n" + conditional + "\r\n");
    ASSERT_TRUE(origin.wait_for_requests(1));
    EXPECT_EQ(origin.requests()[0].find(conditional) == std::string::npos, reload);
    EXPECT_EQ(reply.find("Last-Modified") == std::string::npos, reload) << reply;
    EXPECT_EQ(frontend_.has_line("WBrowser reload detected..."), reload);
  }
}

// A refused connect and a host that does not resolve (or is too long for the look-up buffer)
// answer with their page, the URL or host shown escaped; the address 0.0.0.0 closes without one.
TEST_F(ProxyExchange, UnreachableSitesAnswerWithTheirPage) {
  const std::string closed = "127.0.0.1:" + std::to_string(test::closed_port());
  const std::string h127(127, 'h'), h128(128, 'h');
  const std::pair<std::string, std::string> cases[] = {
      {closed + "/a?b=<i>&c#d", page(kConnectFailedPage, closed + "/a?b=&lt;i&gt;&amp;c#d")},
      {kUnknownHost + "<b>:81/path", page(kHostLookupFailedPage, kUnknownHost + "&lt;b&gt;")},
      {h127 + "/path", page(kHostLookupFailedPage, h127)},
      {h128 + "/path", page(kHostLookupFailedPage, h128)},
      {"0.0.0.0/", ""}};
  for (const auto& [url, reply] : cases) {
    SCOPED_TRACE(url.substr(0, 40) + " of " + std::to_string(url.size()));
    EXPECT_EQ(test::exchange(port_, "GET http://" + url + " HTTP/1.0\r\n\r\n"), reply);
  }
  ASSERT_FALSE(lines_starting("R** ").empty());
  EXPECT_NE(lines_starting("R** ")[0].find(" Socket Error 111 for connect() **"),
            std::string::npos);
  EXPECT_TRUE(wait_for_closes(std::size(cases)));
}

// Without its flag the remote proxy is passed by. With it, it gets the whole URL and its
// address is cached; a failed look-up of it answers with the page naming the proxy host.
TEST_F(ProxyExchange, RemoteProxyGetsTheWholeUrlOnlyWithItsFlag) {
  OriginServer upstream(kPlainReply);
  std::string host = "localhost";
  ProxyEntry entry{0, host.data(), upstream.port(), 0, nullptr};
  current_proxy.store(&entry);
  settings_clear_flags(EnableProxy);
  OriginServer origin(kPlainReply);
  EXPECT_EQ(get(origin, "/direct"), kPlainReply);
  EXPECT_TRUE(lines_starting("CUsing Proxy").empty());
  EXPECT_EQ(upstream.connections(), 0);

  settings_add_flags(EnableProxy);
  const std::string url = "http://elsewhere.example:81/p?q#f";
  EXPECT_EQ(test::exchange(port_, "GET " + url + " HTTP/1.1\r\nHost: elsewhere\r\n\r\n"),
            kPlainReply);
  ASSERT_TRUE(upstream.wait_for_requests(1));
  EXPECT_EQ(upstream.requests()[0], "GET " + url + " HTTP/1.0\r\nHost: elsewhere\r\n\r\n");
  EXPECT_EQ(entry.resolved_address, htonl(INADDR_LOOPBACK));
  EXPECT_TRUE(frontend_.has_line("CUsing Proxy - localhost:" + std::to_string(upstream.port())));
  EXPECT_TRUE(frontend_.has_line("GGET " + url + " HTTP/1.1"));

  std::string unknown_host = kUnknownHost;
  ProxyEntry unknown{0, unknown_host.data(), 8080, 0, nullptr};
  current_proxy.store(&unknown);
  EXPECT_EQ(test::exchange(port_, "GET http://site/ HTTP/1.0\r\n\r\n"),
            page(kHostLookupFailedPage, kUnknownHost));
  EXPECT_EQ(unknown.resolved_address, 0u);
  current_proxy.store(nullptr);
}

// The local addresses (in network order) of the IPv4 sockets listening on a port, as the kernel
// lists them.
std::vector<uint32_t> listening_addresses(uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  std::vector<uint32_t> found;
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  while (std::getline(table, line)) {
    char local[64] = {}, remote[64] = {}, state[8] = {};
    if (std::sscanf(line.c_str(), "%*d: %63s %63s %7s", local, remote, state) != 3) continue;
    const std::string address = local;  // "AAAAAAAA:PPPP"
    if (std::string(state) == "0A" && address.size() == 13 && address.substr(8) == wanted) {
      found.push_back(static_cast<uint32_t>(std::strtoul(address.c_str(), nullptr, 16)));
    }
  }
  return found;
}

// The port is bound to 127.0.0.1 alone; another loopback address that reaches it anyway is
// refused, and the warning box it raises never stops the listener: while the box is open a
// second outsider is only logged and the browser is served.
TEST_F(ProxyExchange, OutsidePeerIsRefusedWhileTheListenerGoesOn) {
  EXPECT_EQ(listening_addresses(port_), std::vector<uint32_t>{htonl(INADDR_LOOPBACK)});
  int other = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  ::inet_pton(AF_INET, "127.0.0.2", &address.sin_addr);
  EXPECT_NE(::connect(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(other);

  frontend_.hold_error_boxes();
  for (int knock = 1; knock <= 2; ++knock) {
    RawClient outsider(port_, "127.0.0.2");
    ASSERT_TRUE(outsider.connected());
    outsider.send("GET http://127.0.0.1/ HTTP/1.0\r\n\r\n");
    EXPECT_EQ(outsider.read_all(), "");
    EXPECT_TRUE(wait_until([&] { return frontend_.external_connections() == knock; }));
    // The warning is shown from a thread of its own; the second knock comes while it is open.
    if (knock == 1) {
      ASSERT_TRUE(wait_until([&] { return frontend_.errors().size() == 1; }));
    }
  }
  OriginServer origin(kPlainReply);
  EXPECT_EQ(get(origin), kPlainReply);
  EXPECT_EQ(lines_starting("RListener received external connection from 127.0.0.2!").size(), 2u);
  ASSERT_EQ(frontend_.errors().size(), 1u);
  EXPECT_EQ(frontend_.errors()[0].rfind("** WARNING **\nSomeone From outside", 0), 0u);
  ASSERT_TRUE(wait_for_closes(1));
  EXPECT_EQ(lines_starting("W+++CLOSE").size(), 1u);
  frontend_.release_error_boxes();
}

// More downloads than there are parked connection threads (32) are all served at once, Abort
// ends every one of them, and the numbers of connections go on across the restart.
TEST_F(ProxyExchange, AbortEndsEveryDownloadAndANewListenerServes) {
  constexpr int kDownloads = 40;
  set_listener_start_pause(500);
  std::vector<ReplyPiece> endless = {{"HTTP/1.0 200 OK\r\n\r\n", 0}};
  for (int i = 0; i < 2000; ++i) endless.push_back({std::string(1000, 'd'), 10});
  OriginServer slow(endless);
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < kDownloads; ++i) {
    clients.push_back(std::make_unique<RawClient>(port_));
    clients.back()->send("GET " + slow.url("/big") + " HTTP/1.0\r\n\r\n");
  }
  for (auto& client : clients) EXPECT_GE(client->read_at_least(3000).size(), 3000u);
  EXPECT_EQ(active_connections(), kDownloads);

  restart_listener();
  // A second Abort while the first one's listener waits to start: that listener's socket was
  // shut down before it was bound, so only the second one may serve.
  ASSERT_TRUE(wait_until([&] {
    const auto shown = frontend_.statuses();
    return std::count_if(shown.begin(), shown.end(), [](const auto& status) {
             return status.text.rfind("Starting listener", 0) == 0;
           }) == 2;
  }));
  set_listener_start_pause(1000);
  restart_listener();
  for (auto& client : clients) {
    client->read_all(10000);
    EXPECT_TRUE(client->closed());
  }
  EXPECT_TRUE(wait_until([] { return active_connections() == 0; }));
  EXPECT_EQ(slow.replies_completed(), 0);

  ASSERT_TRUE(wait_until([&] { return lines_starting("WListening on port").size() == 2; }));
  uint16_t port = listening_port();
  ASSERT_NE(port, 0);
  OriginServer origin(kPlainReply);
  EXPECT_EQ(test::exchange(port, "GET " + origin.url("/") + " HTTP/1.0\r\n\r\n"), kPlainReply);
  ASSERT_TRUE(wait_for_closes(kDownloads + 1));
  // A later connection may log its close before an earlier one.
  std::vector<int> numbers;
  for (const std::string& line : lines_starting("W+++CLOSE ")) {
    numbers.push_back(std::stoi(line.substr(10)));
  }
  std::sort(numbers.begin(), numbers.end());
  ASSERT_EQ(numbers.size(), kDownloads + 1u);
  EXPECT_EQ(numbers.back(), numbers.front() + kDownloads);
}

// A listener that cannot bind its port says so in the status line, with the reason, in red.
// (Listening again after a restart is the Abort case's.)
TEST_F(ProxyExchange, PortInUseIsReportedInRed) {
  set_listener_start_pause(500);
  uint16_t taken = 0;
  int holder = test::listen_on_loopback(&taken);
  settings().port.store(taken);
  restart_listener();
  EXPECT_TRUE(frontend_.wait_for_line("RError binding to listener port"));
  const std::string reason =
      "Error binding to listener port " + std::to_string(taken) + ": Address already in use";
  EXPECT_TRUE(wait_until([&] {
    const std::vector<test::RecordingFrontend::Status> shown = frontend_.statuses();
    return !shown.empty() && shown.back().text == reason && shown.back().colour == kRed;
  }));
  close(holder);
}

// CONNECT tunnels: bytes both ways against peers written here, remote proxies that open or
// refuse, the failure answers, the log block and Abort.
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

using Tunnel = test::ProxyTest;

// A site that speaks first and closes before the browser answers (the browser closing first is
// the ten mebibytes case); then Abort on an open tunnel.
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
      "W", "W+++GET " + number, "GCONNECT " + target + " HTTP/1.1", "GHost: " + target,
      "W", "W+++RESP " + number, "YHTTP/1.0 200 Connection established",
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
  const std::string bad = "HTTP/1.0 400 Bad Request\r\n\r\n";
  // The request line, the answer's head and what its page shows.
  const std::vector<std::vector<std::string>> cases = {
      {"CONNECT " + kUnknownHost + ":443 HTTP/1.1", "HTTP/1.0 502 Host Not Found\r\n\r\n",
       kUnknownHost},
      {"CONNECT 127.0.0.1:" + std::to_string(test::closed_port()) + " HTTP/1.1",
       "HTTP/1.0 502 Bad Gateway\r\n\r\n", "Error connecting to site"},
      {"CONNECT 127.0.0.1 HTTP/1.1", bad, "127.0.0.1"},
      {"CONNECT " + at, bad, "Bad secure site address"},
      {"CONNECT 127.0.0.1:0 HTTP/1.1", bad, "127.0.0.1:0"},
      {"CONNECT 127.0.0.1:65536 HTTP/1.1", bad, "127.0.0.1:65536"},
      {"CONNECT http://" + at + "/ HTTP/1.1", bad, "http://" + at + "/"},
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
