// Header filters through the whole proxy: filters built with build_header_filter, a real
// listener, an origin server written for the test. Each case compares the exact request the
// origin receives, and for the settings' switches the reply the browser receives.
#include "filters/header_filters.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "filter_proxy_fixture.h"
#include "filters/web_filter.h"
#include "proxies/proxy_list.h"
#include "support/origin_server.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;

struct HeaderFilterRow {
  uint16_t flags;
  const char* key;
  const char* match;
  const char* replace;
};

constexpr uint16_t kOut = HEADER_OUT;

class HeaderFilters : public test::FilterProxyTest {
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
TEST_F(HeaderFilters, OutgoingFiltersRewriteTheRequest) {
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
TEST_F(HeaderFilters, SettingsSwitchEachSideAndBypassKeepsTheRemoteProxy) {
  ASSERT_EQ(build_header_filter(nullptr, HEADER_IN | HEADER_OUT, "X-Seen", nullptr, "yes"), 1);
  ASSERT_EQ(build_web_filter(nullptr, FILTER_ACTIVE, "all", nullptr, "body", nullptr, 4096, "BODY"),
            1);
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
  OriginServer remote(head + "\r\nbody");
  std::string host = std::string(70, 'x') + ".invalid";
  ProxyEntry entry{0, host.data(), remote.port(), htonl(INADDR_LOOPBACK), nullptr};
  current_proxy.store(&entry);
  const std::string plain = "GET http://site.example/ HTTP/1.0\r\n\r\n";
  const std::string seen = "GET http://site.example/ HTTP/1.0\r\nX-Seen: yes\r\n\r\n";
  const struct {
    uint32_t off;
    std::string request, reply;
  } rows[] = {{FilterHeadersOut, plain, head + "X-Seen: yes\r\n\r\nBODY"},
              {FilterHeadersIn, seen, head + "\r\nBODY"},
              {Enable, plain, head + "\r\nbody"},
              {0, seen, head + "X-Seen: yes\r\n\r\nBODY"}};
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

}  // namespace
}  // namespace kw
