// Trying a filter must show what the proxy sends: each filter of the table is installed alone, a
// page larger than the scan's buffers goes through the proxy on 127.0.0.1, and the trial on the
// same body and URL gives the same bytes. While watched, the proxy keeps the page's body as the
// server sent it among the recent pages, whether or not a filter applied to it.
#include <gtest/gtest.h>

#include <string>

#include "filter_proxy_fixture.h"
#include "filters/filter_trial.h"
#include "filters/recent_pages.h"
#include "support/origin_server.h"

namespace kw {
namespace {

using test::OriginServer;

class FilterTrialTest : public test::FilterProxyTest {
 protected:
  void SetUp() override {
    test::FilterProxyTest::SetUp();
    forget_recent_pages();
    watch_recent_pages(true);
  }
  void TearDown() override {
    watch_recent_pages(false);
    forget_recent_pages();
    test::FilterProxyTest::TearDown();
  }
};

std::string sample_body() {
  std::string body;
  for (int i = 0; i < 600; ++i) {
    body += "<p><b>bold " + std::to_string(i) + "</b> <div>an ad here</div><div>news</div>\r\n";
    body += "<script>var x = " + std::to_string(i) + ";</script> aaaa\n";
  }
  return body;
}

TEST_F(FilterTrialTest, GivesWhatTheProxySendsForEachKindOfFilter) {
  const struct Row {
    const char* name;
    uint16_t flags;
    const char* url;
    const char* match;
    const char* bounds;
    uint32_t limit;
    const char* replace;
    bool applies;
  } rows[] = {
      {"variables", 0, nullptr, "<b>\\1</b>", nullptr, 4096, "<i>\\1</i>", true},
      {"bounds", 0, nullptr, "*ad*", "<div*</div>", 4096, "<div/>", true},
      {"limit", 0, nullptr, "<script*</script>", nullptr, 30, "", true},
      {"multi", FILTER_MULTI, nullptr, "aa", nullptr, 4096, "a", true},
      {"start", 0, nullptr, "<start>", nullptr, 4096, "[start]", true},
      {"end", 0, nullptr, "<end>", nullptr, 4096, "[end \\h]", true},
      {"url", 0, "127.0.0.1:*/page", "news", nullptr, 4096, "\\p", true},
      {"other url", 0, "example.com/", "news", nullptr, 4096, "olds", false},
  };
  const std::string body = sample_body();
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
  OriginServer origin(head + body);
  const std::string url = origin.url("/page");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    free_web_filters();
    ASSERT_EQ(build_web_filter(nullptr, FILTER_ACTIVE | r.flags, r.name, r.url, r.match, r.bounds,
                               r.limit, r.replace),
              kResultOk);
    const std::string reply = get(origin, "/page");
    ASSERT_EQ(reply.substr(0, head.size()), head);
    const FilterTrial trial = try_web_filter(*web_filter_list, body, url);
    EXPECT_EQ(trial.rewritten, reply.substr(head.size()));
    EXPECT_EQ(trial.applies, r.applies);
    EXPECT_EQ(trial.rewritten != body, r.applies);

    const std::vector<RecentPage> recent = recent_pages();
    ASSERT_FALSE(recent.empty());
    EXPECT_EQ(recent[0].url, url);
    EXPECT_TRUE(recent[0].body == body);
  }
}

TEST(FilterTrial, MatchesTheirVariablesAndTheStretchesWritten) {
  OwnedWebFilter filter;
  WebFilterFields fields{"", "", "", "<b>\\1</b>", "[\\1]", 4096, false};
  int limit_result = kResultOk;
  ASSERT_EQ(build_trial_filter(fields, &filter, &limit_result), kResultOk);
  const FilterTrial trial = try_web_filter(*filter, "x<b>one</b>y\r\n<b>two</b>");
  EXPECT_EQ(trial.rewritten, "x[one]y\r\n[two]");
  ASSERT_EQ(trial.matches.size(), 2u);
  EXPECT_EQ(trial.matches[1].offset, 14u);
  EXPECT_EQ(trial.matches[1].length, 10u);
  EXPECT_EQ(trial.matches[1].text, "<b>two</b>");
  EXPECT_EQ(trial.matches[1].variables[1], "two");
  ASSERT_EQ(trial.changes.size(), 2u);
  EXPECT_EQ(trial.changes[1].offset, 9u);
  EXPECT_EQ(trial.changes[1].length, 5u);

  // A re-scanned replacement's matches are told apart from the sample's.
  fields = {"", "", "", "ab", "", 4096, true};
  fields.replace = "ca";
  ASSERT_EQ(build_trial_filter(fields, &filter, &limit_result), kResultOk);
  const FilterTrial again = try_web_filter(*filter, "xabb");
  EXPECT_EQ(again.rewritten, "xcca");
  ASSERT_EQ(again.matches.size(), 2u);
  EXPECT_FALSE(again.matches[0].rescanned);
  EXPECT_EQ(again.matches[0].offset, 1u);
  EXPECT_TRUE(again.matches[1].rescanned);
  EXPECT_EQ(again.matches[1].text, "ab");

  fields.match = "(ab";
  EXPECT_EQ(build_trial_filter(fields, &filter, &limit_result), kResultBadMatch);
  fields.match = " ";
  EXPECT_EQ(build_trial_filter(fields, &filter, &limit_result), kMissingMatch);
}

}  // namespace
}  // namespace kw
