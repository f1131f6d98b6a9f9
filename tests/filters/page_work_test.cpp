// How much work a filter may do on one page: one whose attempts each come close to the step
// bound is stopped for the rest of the page, so that such a page costs bounded time, while the
// page's other filters go on; a slow but ordinary filter is never stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filters/web_filter.h"
#include "page_reference.h"
#include "support/memory_scan.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using test::active_filters;

// Filters whose every attempt comes close to the step bound without reaching it: the fuzzers
// found such filters taking seconds per kilobyte of a page.
TEST(PageScanFormerBugs, AFilterThatNearlyExhaustsEveryAttemptIsStoppedWhileTheOthersGoOn) {
  const struct {
    const char* match;
    uint32_t limit;
  } kCases[] = {
      // On a run of "a", the ways to split it in three are tried before it fails at the end.
      {"*(a|aa)*(a|aa)*(a|aa)*b", 256},
      // Every "a" of the window ends the first variable, and each is followed by a search.
      {"\\1a\\2*ei", kDefaultFilterLimit},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.match);
    test::RecordingFrontend log;
    free_web_filters();
    build_web_filter(nullptr, FILTER_ACTIVE, "slow", nullptr, c.match, "", c.limit, "X");
    build_web_filter(nullptr, FILTER_ACTIVE, "mark", nullptr, "c", "", 2, "C");
    std::string body;
    std::string expected;
    for (int i = 0; i < 64; ++i) {
      body += std::string(63, 'a') + "c";
      expected += std::string(63, 'a') + "C";
    }
    const std::vector<const WebFilter*> filters = active_filters();
    // Where the filter stops depends only on the body, not on how it arrives.
    for (size_t cut : {size_t{0}, size_t{1000}, body.size()}) {
      EXPECT_EQ(test::scan_in_memory(filters, body, cut, cut != 1000), expected) << "cut " << cut;
    }
    const std::string stopped = "R** 0 Filter stopped for the rest of the page, too slow: slow **";
    EXPECT_EQ(std::ranges::count(log.lines(), stopped), 3);
  }
  free_web_filters();
}

// Found by reading the simple matcher after the fuzzers' finds: its lazy star tried the rest at
// every position, and a rest reaching a run of blanks crossed the whole run again each time, so
// every attempt on a run of blanks cost the run's length squared (a page of 8 KiB of blanks took
// minutes). The simple matcher counts no steps, so nothing stopped it.
TEST(PageScanFormerBugs, AStarBeforeBlanksCrossesEachBlankRunOnce) {
  test::RecordingFrontend log;
  for (const char* match : {"* x", "*? x", "*\\sx"}) {
    SCOPED_TRACE(match);
    free_web_filters();
    build_web_filter(nullptr, FILTER_ACTIVE, "blanks", nullptr, match, "", kMaxFilterLimit, "X");
    const std::string body = std::string(8192, ' ') + "y";
    EXPECT_EQ(test::scan_in_memory(active_filters(), body, 4096, true), body);
  }
  for (const std::string& line : log.lines()) EXPECT_NE(line.rfind("R", 0), 0u) << line;
  free_web_filters();
}

TEST(PageWork, AFilterThatSearchesTheLargestWindowEverywhereIsNeverStopped) {
  test::RecordingFrontend log;
  free_web_filters();
  // Its group sends it to the chain matcher, which counts the full matcher's steps: every
  // attempt searches 32 KiB for "y".
  build_web_filter(nullptr, FILTER_ACTIVE, "to y", nullptr, "<x(zz|zq)*y", "", kMaxFilterLimit,
                   "");
  build_web_filter(nullptr, FILTER_ACTIVE, "words", nullptr, "zq ", "", 64, "Q");
  std::string body;
  for (int i = 0; i < 4096; ++i) body += "<xzz" + std::string(i % 50, 'z') + " zq <xzq ";
  body += "y";
  const std::vector<const WebFilter*> filters = active_filters();
  EXPECT_EQ(test::scan_in_memory(filters, body, body.size() / 3, true),
            test::reference_scan(filters, body));
  for (const std::string& line : log.lines()) EXPECT_NE(line.rfind("R", 0), 0u) << line;
  free_web_filters();
}

}  // namespace
}  // namespace kw
