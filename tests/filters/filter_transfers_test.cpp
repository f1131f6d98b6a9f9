// Filters in transfers through the whole proxy (a real listener, origin servers written for the
// test): header filter cases, the settings' switches, lists replaced while many transfers run,
// and hit counts.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "filter_proxy_fixture.h"
#include "filters/filter_hits.h"
#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "filters/web_filter.h"
#include "proxies/proxy_list.h"
#include "support/origin_server.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;
using test::ReplyPiece;

constexpr uint16_t kOut = HEADER_OUT;
const std::string kHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";

struct HeaderFilterRow {
  uint16_t flags;
  const char *key, *match, *replace;
};

class FilterTransfers : public test::FilterProxyTest {
 protected:
  // The request the origin receives through `filters` for a GET of path with these header
  // lines, "{port}" and "{dir}" in `expected` filled in.
  void expect_upstream(const std::vector<HeaderFilterRow>& filters, const std::string& headers,
                       const std::string& expected, const std::string& path = "/p/a?x=1#f") {
    free_header_filters();
    for (const HeaderFilterRow& f : filters) {
      ASSERT_EQ(build_header_filter(nullptr, f.flags, f.key, f.match, f.replace), 1);
    }
    OriginServer origin("HTTP/1.0 200 OK\r\n\r\nbody");
    test::exchange(port_, "GET " + origin.url(path) + " HTTP/1.0\r\n" + headers + "\r\n");
    ASSERT_TRUE(origin.wait_for_requests(1));
    EXPECT_EQ(origin.requests()[0],
              "GET " + path + " HTTP/1.0\r\n" + test::fill(expected, origin.port()) + "\r\n");
  }
};

// The filters, the browser's header lines and the header lines the origin receives ("{port}"
// and "{dir}" filled in).
TEST_F(FilterTransfers, OutgoingHeaderFiltersRewriteTheRequest) {
  const std::string long_key = "X-" + std::string(200, 'n') + ": label";
  const std::string long_text(3000, 'z');
  const std::tuple<std::vector<HeaderFilterRow>, std::string, std::string> cases[] = {
      // Names compare without case and stay as received; only the first field changes or goes;
      // a missing field is added at the end; "*" changes a field that exists.
      {{{kOut, "user-agent", nullptr, "x"},
        {kOut, "Cookie:", nullptr, nullptr},
        {kOut, "Referer: hide it", nullptr, "none"},
        {kOut, "Via", "*", "x"}},
       "USER-AGENT: y\r\nCookie: a=1\r\nVia: 1.1 cache\r\nCookie: b=2\r\n",
       "USER-AGENT: x\r\nVia: x\r\nCookie: b=2\r\nReferer: none\r\n"},
      // A present field changes in place; "*" never adds.
      {{{kOut, "Referer: hide it", nullptr, "none"}, {kOut, "Via", "*", "x"}},
       "Referer: http://elsewhere/page.html\r\nAccept: */*\r\n",
       "Referer: none\r\nAccept: */*\r\n"},
      // A match stores variables, need not cover the value, and without a replacement deletes.
      {{{kOut, "Accept-Language", "(*)\\1;*", "\\1"},
        {kOut, "User-Agent", "moz", "hidden"},
        {kOut, "Cookie", "track*", nullptr}},
       "Accept-Language: a; b\r\nUser-Agent: Mozilla/5.0\r\nX: User-Agent\r\nCookie: track=1\r\n"
       "Cookie: session=2\r\n",
       "Accept-Language: a\r\nUser-Agent: hidden\r\nX: User-Agent\r\nCookie: session=2\r\n"},
      {{{kOut, "Accept-Language", "(*)\\1;*", "\\1"}},
       "Accept-Language: en\r\n",
       "Accept-Language: en\r\n"},
      {{{kOut, "X-Where", nullptr, "\\u|\\h|\\p|\\q|\\a"}, {kOut, "X-Dir", nullptr, "[\\d]"}},
       "",
       "X-Where: http://127.0.0.1:{port}/p/a?x=1#f|127.0.0.1|/p/a|?x=1#f|\r\nX-Dir: [{dir}]\r\n"},
      {{{kOut, "X-A", nullptr, "1"}, {kOut, "X-A", "1", "one"}, {kOut, "X-B", "*", "2"}},
       "",
       "X-A: one\r\n"},
      // Long names and expansions are cut.
      {{{kOut, long_key.c_str(), nullptr, "v"}, {kOut, "X-Long", nullptr, long_text.c_str()}},
       "",
       long_key.substr(0, kHeaderNameMax) + ": v\r\nX-Long: " + std::string(2047, 'z') + "\r\n"},
      // Incoming only, inactive, a match that did not compile, a key without a name.
      {{{HEADER_IN, "Accept", nullptr, nullptr},
        {0, "Accept", nullptr, "never"},
        {kOut, "Accept", "(*", "x"},
        {kOut, ": label", nullptr, "x"},
        {kOut, nullptr, nullptr, "y"}},
       "Accept: */*\r\n",
       "Accept: */*\r\n"}};
  for (const auto& [filters, headers, expected] : cases) {
    SCOPED_TRACE(expected);
    expect_upstream(filters, headers, expected);
  }
  // A fragment without a query.
  expect_upstream({{kOut, "X-Where", nullptr, "\\p|\\q|\\a"}}, "", "X-Where: /p||#top\r\n",
                  "/p#top");
}

// The settings' switches, through a remote proxy whose host does not resolve (its cached
// address is used without a look-up): what it receives and what the browser receives. Bypass
// turns every filter off but keeps the remote proxy.
TEST_F(FilterTransfers, SettingsSwitchEachSideAndBypassKeepsTheRemoteProxy) {
  ASSERT_EQ(build_header_filter(nullptr, HEADER_IN | HEADER_OUT, "X-Seen", nullptr, "yes"), 1);
  ASSERT_EQ(build_web_filter(nullptr, FILTER_ACTIVE, "all", nullptr, "body", nullptr, 4096, "BODY"),
            1);
  OriginServer remote(kHead + "\r\nbody");
  std::string host = std::string(70, 'x') + ".invalid";
  ProxyEntry entry{0, host.data(), remote.port(), htonl(INADDR_LOOPBACK), nullptr};
  current_proxy.store(&entry);
  const std::string plain = "GET http://site.example/ HTTP/1.0\r\n\r\n";
  const std::string seen = "GET http://site.example/ HTTP/1.0\r\nX-Seen: yes\r\n\r\n";
  const struct {
    uint32_t off;
    std::string request, reply;
  } rows[] = {{FilterHeadersOut, plain, kHead + "X-Seen: yes\r\n\r\nBODY"},
              {FilterHeadersIn, seen, kHead + "\r\nBODY"},
              {Enable, plain, kHead + "\r\nbody"}};
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].off);
    settings_clear_flags(rows[i].off);
    EXPECT_EQ(test::exchange(port_, plain), rows[i].reply);
    ASSERT_TRUE(remote.wait_for_requests(i + 1));
    EXPECT_EQ(remote.requests()[i], rows[i].request);
    settings_add_flags(rows[i].off);
  }
  stop_proxy();
  current_proxy.store(nullptr);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Replaces a list whenever no transfer uses it; counts replacements.
struct Replacer {
  int (*lock_op)(int);
  int (*users_add)(int);
  std::atomic<int> done{0};

  void try_once(const std::string& animal, void (*install)(const std::string&)) {
    lock_op(2);
    if (users_add(0) == 0) {
      install(animal);
      done.fetch_add(1);
    }
    lock_op(3);
  }
};

// The web filters of one version: "<start>" and "cat" on /page only, "<end>" everywhere.
void install_web(const std::string& animal) {
  free_web_filters();
  build_web_filter(nullptr, FILTER_ACTIVE, "start", "127.0.0.1*/page", "<start>", nullptr, 4096,
                   ("[" + animal + "]").c_str());
  build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "animal", "127.0.0.1*/page", "cat",
                   nullptr, 4096, animal.c_str());
  build_web_filter(nullptr, FILTER_ACTIVE, "end", nullptr, "<end>", nullptr, 4096,
                   ("[/" + animal + "]").c_str());
}

void install_headers(const std::string& animal) {
  free_header_filters();
  build_header_filter(nullptr, HEADER_IN, "X-Version", nullptr, animal.c_str());
}

// The lists are replaced under their use-count protocol, as the editors and a configuration load
// do: every page must come out filtered wholly by one version of the lists, and, run under
// AddressSanitizer, no transfer may touch a freed record. Clients fetch pages on /page and on
// /other (a path the Url patterns leave out: only the <end> filter applies, and the list is
// released while the body is relayed), hang up mid-page, or get a page whose server stops after
// 5000 of its 99999 bytes; the use counts still come back to 0.
TEST_F(FilterTransfers, ListsReplacedWhileTransfersRunAndEndEarly) {
  std::string body;
  for (int i = 0; i < 400; ++i) body += "<p>the cat " + std::to_string(i) + " sat</p>\n";
  const std::vector<std::string> animals = {"dog", "cow", "owl", "yak"};
  install_web(animals[0]);
  install_headers(animals[0]);
  // The pages come in pieces with pauses, so transfers overlap and hold the list.
  std::vector<ReplyPiece> script{{kHead + "\r\n", 0}};
  for (ReplyPiece& piece : test::split_reply(body, 3000, 2)) script.push_back(piece);
  OriginServer origin(script);
  std::vector<ReplyPiece> slow{{kHead + "\r\n", 0}};
  for (ReplyPiece& piece : test::split_reply(body, 500, 20)) slow.push_back(piece);
  OriginServer slow_origin(slow);
  OriginServer cut_origin(kHead + "Content-Length: 99999\r\n\r\n" + body.substr(0, 5000));
  // Whether a reply is what one version of both lists makes of `sent`.
  const auto one_version = [&](const std::string& reply, const std::string& sent, bool other) {
    for (const std::string& h : animals) {
      for (const std::string& a : animals) {
        const std::string page = other ? sent : "[" + a + "]" + replaced(sent, "cat", a);
        if (reply == kHead + "X-Version: " + h + "\r\n\r\n" + page + "[/" + a + "]") return true;
      }
    }
    return false;
  };

  Replacer web{web_filter_lock_op, web_filter_users_add};
  Replacer headers{header_filter_lock_op, header_filter_users_add};
  std::atomic<bool> clients_done{false};
  std::atomic<int> bad{0};
  std::thread replacer([&] {
    for (int round = 1; !clients_done.load(); ++round) {
      const std::string& animal = animals[static_cast<size_t>(round) % animals.size()];
      web.try_once(animal, install_web);
      headers.try_once(animal, install_headers);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&, c] {
      std::mt19937 random(static_cast<uint32_t>(c));
      for (int i = 0; i < 12; ++i) {
        if (i % 4 == 3 && c % 2 == 0) {
          test::RawClient client(port_);
          client.send("GET " + slow_origin.url("/page") + " HTTP/1.0\r\n\r\n");
          client.read_at_least(kHead.size() + 100);
          continue;  // the client closes here, long before the page is complete
        }
        const bool other = i % 4 == 2;
        const bool cut = i % 4 == 3;
        const std::string reply = get(cut ? cut_origin : origin, other ? "/other" : "/page");
        if (!one_version(reply, cut ? body.substr(0, 5000) : body, other)) bad.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 15));
      }
    });
  }
  for (std::thread& t : clients) t.join();
  clients_done.store(true);
  replacer.join();

  EXPECT_EQ(bad.load(), 0) << "a page was not filtered wholly by one version";
  EXPECT_GT(web.done.load(), 0);
  EXPECT_GT(headers.done.load(), 0);
  EXPECT_TRUE(test::wait_until([] { return active_connections() == 0; }, 30000));
  EXPECT_EQ(web_filter_users_add(0), 0);
  EXPECT_EQ(header_filter_users_add(0), 0);
}

// A web filter counts each match it replaced and each text it sent at a page's start or end, a
// header filter each field it changed, deleted or added; the lines read out as kestrelwickd
// prints them. With the filter category off the hits still count but are not logged. The reply
// is rewritten before its header is logged, and only by the incoming filters.
TEST_F(FilterTransfers, HitCountsStayExactAndEqualTheLoggedHits) {
  build_web_filter(nullptr, FILTER_ACTIVE, "start", nullptr, "<start>", nullptr, 4096, "[");
  // "cat" becomes "dog", which is scanned again: the "dog" filter counts it too.
  build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "cat", nullptr, "cat", nullptr, 4096,
                   "dog");
  build_web_filter(nullptr, FILTER_ACTIVE, "dog", nullptr, "dog", nullptr, 4096, "cow");
  build_web_filter(nullptr, FILTER_ACTIVE, "never", nullptr, "zebra", nullptr, 4096, "z");
  build_web_filter(nullptr, FILTER_ACTIVE, "end", nullptr, "<end>", nullptr, 4096, "]");
  build_header_filter(nullptr, HEADER_IN, "X-Added", nullptr, "\\h\\p");
  build_header_filter(nullptr, HEADER_IN, "X-Drop", nullptr, nullptr);
  build_header_filter(nullptr, HEADER_IN, "Server", "origin", "proxy");
  build_header_filter(nullptr, HEADER_IN, "X-Missing", "x", "y");
  build_header_filter(nullptr, HEADER_OUT, "X-Out", nullptr, "o");
  std::string body;
  for (int i = 0; i < 100; ++i) body += "a cat, a dog, ";
  OriginServer origin(
      "HTTP/1.0 200 OK\r\nServer: origin\r\nX-Drop: 1\r\nContent-Type: text/html\r\n\r\n" + body);
  const std::string want =
      "HTTP/1.0 200 OK\r\nServer: proxy\r\nContent-Type: text/html\r\nX-Added: "
      "127.0.0.1/\r\n\r\n[" +
      replaced(replaced(body, "cat", "cow"), "dog", "cow") + "]";
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < 5; ++i) EXPECT_EQ(get(origin), want);
    });
  }
  for (std::thread& t : clients) t.join();
  ASSERT_TRUE(wait_for_closes(40));
  EXPECT_TRUE(frontend_.has_line("YServer: proxy"));
  EXPECT_TRUE(lines_starting("YX-Drop").empty());

  // Each hit's line names the kind of hit, the connection and the filter.
  const std::string closing = lines_starting("W+++CLOSE ")[0];
  const std::string number = closing.substr(10, closing.size() - 13);
  EXPECT_TRUE(frontend_.has_line("V<start> " + number + ": start"));
  EXPECT_TRUE(frontend_.has_line("VMatch " + number + ": cat"));
  EXPECT_TRUE(frontend_.has_line("V<end> " + number + ": end"));
  std::map<std::string, uint64_t> logged;
  for (const std::string& line : lines_starting("V")) logged[line.substr(line.find(": ") + 2)]++;
  EXPECT_EQ(logged, (std::map<std::string, uint64_t>{
                        {"start", 40}, {"cat", 4000}, {"dog", 8000}, {"end", 40}}));
  const std::vector<std::string> hit_lines = {
      R"(web filter 1 "start": 40 hits)",       R"(web filter 2 "cat": 4000 hits)",
      R"(web filter 3 "dog": 8000 hits)",       R"(web filter 4 "never": 0 hits)",
      R"(web filter 5 "end": 40 hits)",         R"(header filter 1 "X-Added": 40 hits)",
      R"(header filter 2 "X-Drop": 40 hits)",   R"(header filter 3 "Server": 40 hits)",
      R"(header filter 4 "X-Missing": 0 hits)", R"(header filter 5 "X-Out": 40 hits)"};
  EXPECT_EQ(filter_hit_lines(), hit_lines);

  frontend_.set_category(kLogHtmlFilters, false);
  frontend_.clear();
  get(origin);
  ASSERT_TRUE(wait_for_closes(1));
  EXPECT_TRUE(lines_starting("V").empty());
  EXPECT_EQ(filter_hit_lines()[4], R"(web filter 5 "end": 41 hits)");
}

}  // namespace
}  // namespace kw
