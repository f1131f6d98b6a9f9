// The whole proxy over 127.0.0.1: a real listener, origin servers written for the tests and raw
// clients. Checks the exact bytes that go upstream and come back, the error pages, the log
// lines, connection numbers and counts, hostile requests, killing all connections, and a port
// in use.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
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
// request and reply blocks go but the closing line stays. (The tunnel's tests check a whole
// block.)
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

// The listener shows its waiting text just after its port becomes known; a connection shows
// in the active count while it runs.
TEST_F(ProxyExchange, StatusTextsAndTheActiveCount) {
  ASSERT_TRUE(wait_until([&] { return frontend_.statuses().size() >= 2; }));
  std::vector<test::RecordingFrontend::Status> shown = frontend_.statuses();
  EXPECT_EQ(shown[0].text + " / " + shown[1].text,
            "Starting listener on port 0 / --- Waiting for connections ---");
  EXPECT_EQ(shown[0].colour, kYellow);
  EXPECT_EQ(shown[1].colour, kGreen);
  OriginServer origin(kPlainReply);
  get(origin);
  ASSERT_TRUE(wait_for_closes(1));
  ASSERT_TRUE(wait_until([] { return active_connections() == 0; }));
  std::vector<std::string> counts = frontend_.log_statuses();
  EXPECT_NE(std::find(counts.begin(), counts.end(), "Active connections: 01"), counts.end());
  EXPECT_EQ(counts.back(), "Active connections: 00");
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
      {"NUL in a name", std::string("GET http://h/ HTTP/1.0\r\nX\0: v\r\n\r\n", 34)},
      {"100 KB request line", "GET http://h/" + std::string(100 * 1024, 'a') + " HTTP/1.0\r\n\r\n"},
      {"100 KB header line",
       "GET http://h/ HTTP/1.0\r\nX: " + std::string(100 * 1024, 'b') + "\r\n\r\n"},
      {"endless header lines", endless},
      {"empty line", "\r\n"},
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
// static files.
TEST_F(ProxyExchange, ReloadDropsConditionalHeadersOfPagesOnly) {
  const std::tuple<const char*, const char*, bool> cases[] = {{"/index.html", "No-Cache", true},
                                                              {"/a.gif", "No-Cache", false},
                                                              {"/a.gif?x=1", "No-Cache", true},
                                                              {"/p", "no-cache, x", false}};
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
  const std::string h127(127, 'h'), h128(128, 'h'), h1500(1500, 'h');
  const std::pair<std::string, std::string> cases[] = {
      {closed + "/a?b=<i>&c#d", page(kConnectFailedPage, closed + "/a?b=&lt;i&gt;&amp;c#d")},
      {kUnknownHost + "<b>:81/path", page(kHostLookupFailedPage, kUnknownHost + "&lt;b&gt;")},
      {h127 + "/path", page(kHostLookupFailedPage, h127)},
      {h128 + "/path", page(kHostLookupFailedPage, h128)},
      {h1500 + "/path", page(kHostLookupFailedPage, h1500)},
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

// The port is bound to 127.0.0.1 alone; another loopback address that reaches it anyway is
// refused, and the warning box it raises never stops the listener: while the box is open a
// second outsider is only logged and the browser is served.
TEST_F(ProxyExchange, OutsidePeerIsRefusedWhileTheListenerGoesOn) {
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

TEST_F(ProxyExchange, PortInUseIsReportedAndAnotherPortWorks) {
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
  settings().port.store(0);
  restart_listener();
  ASSERT_TRUE(wait_until([&] { return lines_starting("WListening on port").size() == 2; }));
  OriginServer origin(kPlainReply);
  EXPECT_EQ(test::exchange(listening_port(), "GET " + origin.url("/") + " HTTP/1.0\r\n\r\n"),
            kPlainReply);
}

}  // namespace
}  // namespace kw
