// The web page filter stream through the whole proxy: filters built with build_web_filter, a
// real listener, origin servers written for the test. Each case compares the exact bytes the
// browser receives.
#include "filters/page_filter.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "filter_proxy_fixture.h"
#include "filters/filter_trial.h"
#include "filters/recent_pages.h"
#include "filters/web_filter.h"
#include "node_allocation.h"
#include "page_reference.h"
#include "support/origin_server.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::fill;
using test::OriginServer;
using test::ReplyPiece;

struct WebFilterRow {
  uint16_t flags;
  const char* match;
  const char* replace;
  const char* url = nullptr;
  const char* bounds = nullptr;
  uint32_t limit = 4096;
};

constexpr uint16_t A = FILTER_ACTIVE;
constexpr uint16_t M = FILTER_ACTIVE | FILTER_MULTI;
const std::string kHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";

struct PageCase {
  const char* name;
  std::vector<WebFilterRow> filters;
  std::string body;
  std::string expected;  // "{port}" and "{dir}" are filled in
  std::string type = "text/html";
};

std::string repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

class PageFilters : public test::FilterProxyTest {
 protected:
  static void add(const std::vector<WebFilterRow>& filters) {
    for (const WebFilterRow& f : filters) {
      ASSERT_EQ(
          build_web_filter(nullptr, f.flags, f.match, f.url, f.match, f.bounds, f.limit, f.replace),
          1);
    }
  }
  // What the browser receives for a reply with this status line and header lines, and the body
  // sent in the given pieces, requested as /page.html?x=1#frag.
  std::string fetch(const std::string& head, const std::vector<ReplyPiece>& body) {
    std::vector<ReplyPiece> script{{head + "\r\n", 0}};
    script.insert(script.end(), body.begin(), body.end());
    OriginServer origin(script);
    port_seen_ = origin.port();
    return get(origin, "/page.html?x=1#frag");
  }
  std::string fetch_page(const std::string& body, const std::string& type = "text/html") {
    return fetch("HTTP/1.0 200 OK\r\nContent-Type: " + type +
                     "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n",
                 {{body, 0}});
  }

  // Each case's page as the browser receives it. Each case also tries a lone filter on the same
  // page and URL, and watches the recent pages.
  void expect_pages(const std::vector<PageCase>& cases) {
    forget_recent_pages();
    watch_recent_pages(true);
    for (const PageCase& c : cases) {
      SCOPED_TRACE(c.name);
      free_web_filters();
      add(c.filters);
      const std::string received = fetch_page(c.body, c.type);
      const std::string expected = fill(c.expected, port_seen_);
      EXPECT_EQ(received, "HTTP/1.0 200 OK\r\nContent-Type: " + c.type + "\r\n\r\n" + expected);
      // Trying a lone filter on a text page shows what the proxy sent; the page is kept as the
      // server sent it.
      if (c.type != "text/html") continue;
      const std::string url = fill("http://127.0.0.1:{port}/page.html?x=1#frag", port_seen_);
      if (c.filters.size() == 1) {
        const FilterTrial trial = try_web_filter(*web_filter_list, c.body, url);
        EXPECT_EQ(trial.rewritten, expected);
        // A lone filter's Url pattern, when it has one, names 127.0.0.1 or another host.
        EXPECT_EQ(trial.applies, c.filters[0].url == nullptr || c.filters[0].url[0] == '1');
      }
      const std::vector<RecentPage> recent = recent_pages();
      ASSERT_FALSE(recent.empty());
      EXPECT_EQ(recent[0].url, url);
      EXPECT_TRUE(recent[0].body == c.body);
    }
    watch_recent_pages(false);
    forget_recent_pages();
  }

  uint16_t port_seen_ = 0;
};

TEST_F(PageFilters, BrowserReceivesTheFilteredBody) {
  const std::vector<PageCase> cases = {
      {"url selects",
       {{A, "b", "1", "127.0.0.1*/page"},
        {A, "c", "2", "elsewhere/"},
        {A, "a", "3", "127.0.0.1:*/other"}},
       "abc",
       "a1c"},
      {"first in list wins", {{A, "ab", "1"}, {A, "ab", "2"}, {A, "b", "3"}}, "ab b", "1 3"},
      {"multi is scanned again", {{M, "cat", "dog"}, {A, "dog", "wolf"}}, "cat dog", "wolf wolf"},
      {"multi not retried at its own start", {{M, "a", "ab"}}, "aa", "abab"},
      {"earlier filters see the rescan from its second byte",
       {{A, "dog", "X"}, {A, "og", "OG"}, {M, "cat", "dog"}},
       "cat",
       "dOG"},
      {"multi without replacement drops",
       {{M, "cat", nullptr}, {A, "dog", "X"}},
       "catdog cat dog",
       "X  X"},
      {"empty match never replaces", {{A, "(^zzz)", "X"}}, "abc", "abc"},
      {"no replacement deletes", {{A, "<(/|)blink>", nullptr}}, "<blink>hi</BLINK>!", "hi!"},
      {"replacement expanding to nothing", {{A, "<b\\1>", "\\1"}}, "<b>x", "x"},
      {"bounds select a whole script",
       {{A, "*evil*", "[gone]", nullptr, "<script*</script>"}},
       "<script>good()</script><script>evil()</script><script>x</script>evil",
       "<script>good()</script>[gone]<script>x</script>evil"},
      {"match must end where the bounds end",
       {{A, "<b>x", "X", nullptr, "<b>*</b>"}},
       "<b>x</b>",
       "<b>x</b>"},
      {"limit 2 matches one byte", {{A, "a", "A", nullptr, nullptr, 2}}, "banana", "bAnAnA"},
      {"limit cuts the window", {{A, "<x*>", "Y", nullptr, nullptr, 5}}, "<x1> <x12>", "Y <x12>"},
      {"start and end frame a text body",
       {{A, "<start>", "S["}, {A, "<end>", "]E"}, {A, "a", "A"}},
       "aba",
       "S[AbA]E"},
      {"start and end skip other bodies",
       {{A, "<start>", "S["}, {A, "<end>", "]E"}, {A, "a", "A"}},
       "aba",
       "AbA",
       "application/x-javascript"},
      {"start and end when no filter applies follow the url",
       {{A, "<start>", "S"},
        {A, "<end>", "E"},
        {A, "<start>", "s", "elsewhere/"},
        {A, "<end>", "e", "elsewhere/"},
        {A, "a", "A", "elsewhere/"}},
       "aba",
       "SabaE"},
      {"inactive filters",
       {{0, "<start>", "S"}, {0, "a", "A"}, {FILTER_MULTI, "b", "B"}},
       "aba",
       "aba"},
      {"replacement codes",
       {{A, "<v\\0,\\1,\\2,\\3,\\4,\\5,\\6,\\7,\\8,\\9>",
         "\\9\\8\\7\\6\\5\\4\\3\\2\\1\\0|\\u|\\h|\\p|\\q|\\a|\\d"}},
       "<va,b,c,d,e,f,g,h,i,j>!",
       "jihgfedcba|http://127.0.0.1:{port}/page.html?x=1#frag|127.0.0.1|/page.html|"
       "?x=1#frag||{dir}!"},
      {"start text quotes the url's variables",
       {{A, "<start>", "port \\1;", "127.0.0.1:\\1/"}},
       "body",
       "port {port};body"},
      {"a re-scan taking a byte each time chains to the end",
       {{M, "ab", "xa"}},
       "a" + std::string(300, 'b') + "!",
       std::string(300, 'x') + "a!"},
      {"end text with a code", {{A, "<end>", "[end \\h]"}}, "x", "x[end 127.0.0.1]"},
      {"a filter for another url", {{A, "a", "A", "elsewhere/"}}, "a", "a"},
      {"a page larger than the scan's buffers",
       {{A, "<b>\\1</b>", "<i>\\1</i>"}},
       repeated("<p><b>bold</b> <b>x</b>\r\n", 4000),
       repeated("<p><i>bold</i> <i>x</i>\r\n", 4000)},
      {"server closing mid-match ends the window",
       {{A, "<x*", "Y"}, {A, "<script*</script>", "Z"}},
       "abc<script>never closed <x tail",
       "abc<script>never closed Y"}};
  expect_pages(cases);
}

class PageFilterFormerBugs : public PageFilters {};

// Re-scan filters whose output holds their own match (alone or in turn) re-scanned forever and
// the page never ended. A run of re-scans inside their own output is now cut short.
TEST_F(PageFilterFormerBugs, ReScansWritingTheirOwnMatchEndThePage) {
  expect_pages(
      {{"a re-scan writing its own match", {{M, "a", "ba"}}, "a!", std::string(102, 'b') + "a!"},
       {"re-scans writing each other's match",
        {{M, "a", "xb"}, {M, "b", "ya"}},
        "a!",
        repeated("xy", 51) + "a!"}});
}

// Only 200 and 404 replies without a transfer encoding are filtered, and lose their length.
TEST_F(PageFilters, StatusAndEncodingDecideWhetherTheBodyIsFiltered) {
  add({{A, "a", "A"}});
  const std::pair<std::string, bool> cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n", true},
      {"HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n", true},
      {"HTTP/1.0 302 Found\r\nContent-Type: text/html\r\n", false},
      {"HTTP/1.0 500 Oops\r\nContent-Type: text/html\r\n", false},
      {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n", false}};
  for (const auto& [head, filtered] : cases) {
    EXPECT_EQ(fetch(head + "Content-Length: 6\r\nX-After: kept\r\n", {{"banana", 0}}),
              filtered ? head + "X-After: kept\r\n\r\nbAnAnA"
                       : head + "Content-Length: 6\r\nX-After: kept\r\n\r\nbanana");
  }
}

// A page whose filter list cannot be made (one longer than a list holds without the heap) goes
// through as it came, and the log says why.
TEST_F(PageFilters, PageWithoutMemoryForItsFiltersIsRelayedUnfiltered) {
  add({{A, "<start>", "["}, {A, "ad", "-"}, {A, "<end>", "]"}});
  add(std::vector<WebFilterRow>(PageFilterList::kInline, {A, "zz", "-"}));
  test::fail_node_allocations = true;
  const std::string got = fetch_page("an ad");
  test::fail_node_allocations = false;
  EXPECT_EQ(got, kHead + "\r\nan ad");
  ASSERT_TRUE(wait_for_closes(1));
  const std::vector<std::string> errors = lines_starting("R** ");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(" Page relayed unfiltered: Not enough memory **"), std::string::npos);

  EXPECT_EQ(fetch_page("an ad"), kHead + "\r\n[an -]");
}

// A page that arrives slowly reaches the browser as it arrives: everything scanned goes out
// before the scan waits for the server. The rest of this page comes 20 s later, long after the
// test has looked.
TEST_F(PageFilters, ScannedBytesGoOutBeforeTheScanWaits) {
  add({{A, "<start>", "[start]"}, {A, "<script*</script>", nullptr}});
  OriginServer origin({{kHead + "\r\nhello <scr", 0}, {"ipt>x</script> world", 20000}});
  test::RawClient client(port_);
  client.send("GET " + origin.url("/slow") + " HTTP/1.0\r\n\r\n");
  const std::string early = kHead + "\r\n[start]hello ";
  EXPECT_EQ(client.read_at_least(early.size(), 15000), early);
}

// A re-scanned replacement that, with the rest of the input, cannot fit the other swap buffer is
// sent as it is (not scanned again), and said so in the log.
TEST_F(PageFilters, SwapOverflowFallsBackToDirectReplacement) {
  add({{M, "<big>\\1</big>", "\\1\\1", nullptr, nullptr, 32767}, {A, "x", "y"}});
  const std::string inner(20000, 'x');
  EXPECT_EQ(fetch_page("<big>" + inner + "</big>x"), kHead + "\r\n" + inner + inner + "y");
  EXPECT_TRUE(frontend_.wait_for_line("RHTML Swap Buffer Overflow, using direct replace"));
}

// The stream invariance property, against the reference scan: a long page with many matches
// and windows that reach across the receive pieces and the buffer's end, sent whole and in
// pieces; and random pages sent at once, in random pieces with pauses, and one byte at a time
// with pauses. With re-scan filters (the body read in 2048-byte pieces) and without (larger).
TEST_F(PageFilters, OutputDoesNotDependOnHowTheBodyArrives) {
  std::string long_page;
  for (int i = 0; long_page.size() < 300000; ++i) {
    long_page += "<b" + std::to_string(i % 7) + "> one two dog three ";
    if (i % 300 == 0) long_page += "cat ";
    if (i % 11 == 0) long_page += "<q>";
    if (i % 50 == 0) long_page += "<script>" + std::string(i % 20000, 'e') + "evil</script>";
    if (i % 77 == 0) long_page += "<script>" + std::string(5000, 'g') + "</script>";
  }
  const char* const fragments[] = {
      "<b1>", "<b>", "cat", "dog",   "<script>", "evil", "</script>",
      " ",    "one", "two", "<x12>", "zz",       "a",    "b",
      "\n",   "<",   ">",   "o",     "\"",       "'",    "onclick=\"a()\""};
  std::mt19937 random(20240611);
  for (const uint16_t rescan : {M, A}) {
    SCOPED_TRACE(rescan == M ? "with re-scan filters" : "without re-scan filters");
    free_web_filters();
    add({{A, "<b\\1>", "[\\1]", nullptr, nullptr, 12},
         {rescan, "cat", "dog"},
         {A, "dog", "wolf"},
         {A, "*evil*", "", nullptr, "<script*</script>", 30000},
         {A, "on\\w=\"*'", "X", nullptr, nullptr, 40},
         {A, "(one|two|three)\\2", "<\\2>", nullptr, nullptr, 8},
         {A, "<x*>", "Y", nullptr, nullptr, 6},
         {A, "zz", nullptr},
         {rescan, "ab", "ba"},
         // Never matches, but its bounds read 25000 bytes ahead wherever "<q" stands, so the
         // other filters' windows keep meeting the end of the buffer.
         {A, "<q>never", "Q", nullptr, "<q*", 25000},
         // Limits that let no match fit: the whole body must still come through.
         {A, "a", "A", nullptr, nullptr, 0},
         {A, "a", "A", nullptr, nullptr, 1}});
    const std::vector<const WebFilter*> list = test::active_filters();
    const std::string long_expected = kHead + "\r\n" + test::reference_scan(list, long_page);
    ASSERT_NE(long_expected, kHead + "\r\n" + long_page);
    EXPECT_EQ(fetch(kHead, {{long_page, 0}}), long_expected);
    EXPECT_EQ(fetch(kHead, test::split_reply(long_page, 1000)), long_expected);

    for (int page = 0; page < 12; ++page) {
      std::string body;
      const size_t size = 200 + random() % 600;
      while (body.size() < size) body += fragments[random() % std::size(fragments)];
      std::vector<ReplyPiece> pieces, bytes;
      for (size_t at = 0, n; at < body.size(); at += n) {
        n = 1 + random() % 64;
        pieces.push_back({body.substr(at, n), static_cast<int>(random() % 3)});
      }
      for (size_t at = 0; at < body.size(); ++at) {
        bytes.push_back({body.substr(at, 1), at % 16 == 0 ? 1 : 0});
      }
      SCOPED_TRACE("page " + std::to_string(page) + ": " + body);
      const std::string expected = kHead + "\r\n" + test::reference_scan(list, body);
      for (const auto& script : {std::vector<ReplyPiece>{{body, 0}}, pieces, bytes}) {
        EXPECT_EQ(fetch(kHead, script), expected);
      }
    }
  }
}

// A trial tells where each replacement went, and a re-scanned replacement's matches apart from
// the sample's (where matches lie and what they hold kwmatch prints).
TEST(FilterTrial, MatchesTheirVariablesAndTheStretchesWritten) {
  OwnedWebFilter filter;
  WebFilterFields fields{"", "", "", "<b>\\1</b>", "[\\1]", 4096, false};
  int limit_result = kResultOk;
  ASSERT_EQ(build_trial_filter(fields, &filter, &limit_result), kResultOk);
  const FilterTrial trial = try_web_filter(*filter, "x<b>one</b>y\r\n<b>two</b>");
  EXPECT_EQ(trial.rewritten, "x[one]y\r\n[two]");
  ASSERT_EQ(trial.matches.size(), 2u);
  EXPECT_EQ(trial.matches[1].variables[1], "two");
  ASSERT_EQ(trial.changes.size(), 2u);
  EXPECT_EQ(trial.changes[1].offset, 9u);
  EXPECT_EQ(trial.changes[1].length, 5u);

  fields = {"", "", "", "ab", "ca", 4096, true};
  ASSERT_EQ(build_trial_filter(fields, &filter, &limit_result), kResultOk);
  const FilterTrial again = try_web_filter(*filter, "xabb");
  EXPECT_EQ(again.rewritten, "xcca");
  ASSERT_EQ(again.matches.size(), 2u);
  EXPECT_FALSE(again.matches[0].rescanned);
  EXPECT_EQ(again.matches[0].offset, 1u);
  EXPECT_TRUE(again.matches[1].rescanned);
  EXPECT_EQ(again.matches[1].text, "ab");
}

}  // namespace
}  // namespace kw
