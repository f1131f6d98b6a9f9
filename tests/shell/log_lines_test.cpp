// The log window's Qt-free parts: which lines name a connection, what finding matches, where
// stepping goes at the ends, and the queue between the logging threads and the window (how few
// lines it keeps in a flood and when it wakes the window).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "shell/log_find.h"
#include "shell/log_queue.h"

namespace kw {
namespace {

TEST(LogFind, ConnectionsNamedByLinesTextAndStepping) {
  const struct {
    const char* line;
    int connection;
    bool hit;  // a filter hit of that connection
  } cases[] = {
      {"VMatch 12: Banner ads", 12, true},
      {"V<start> 3: Top", 3, true},
      {"V<end> 40: 12: odd name", 40, true},
      {"W+++GET 7+++", 7, false},
      {"W+++CLOSE 7+++ 10 bytes to the site, 20 bytes to the browser", 7, false},
      {"R** 9 Socket Error 104 for example.com **", 9, false},
      {"GGET http://example.com/12: HTTP/1.1", -1, false},
      {"VMatch x: name", -1, false},
      {"W+++GET 7", -1, false},
      {"", -1, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(log_line_connection(c.line), c.connection) << c.line;
    EXPECT_EQ(is_filter_hit_of(c.line, c.connection), c.hit) << c.line;
  }
  EXPECT_FALSE(is_filter_hit_of("VMatch 12: x", 1));

  // Finding ignores case and the category character.
  EXPECT_TRUE(log_line_holds("VMatch 1: Banner", "banNER"));
  EXPECT_FALSE(log_line_holds("VMatch 1: Banner", "VMatch"));
  EXPECT_FALSE(log_line_holds("VMatch 1: Banner", ""));

  // Stepping wraps at both ends.
  const std::vector<int> rows = {2, 5, 9};
  const struct {
    int from;
    bool forward;
    int to;
  } steps[] = {{-1, true, 2}, {2, true, 5},  {9, true, 2},  {12, true, 2}, {-1, false, 9},
               {2, false, 9}, {5, false, 2}, {7, false, 5}, {0, false, 9}};
  for (const auto& s : steps)
    EXPECT_EQ(step_to_match(rows, s.from, s.forward), s.to) << s.from << " " << s.forward;
  EXPECT_EQ(step_to_match({}, 3, true), -1);
}

// A flood keeps only the lines that could be shown; the window is woken once until it has taken
// what waits, and never after the queue is closed.
TEST(LogQueueTest, KeepsWhatCouldBeShownAndWakesOnceUntilTaken) {
  std::atomic<int> wakes{0};
  LogQueue queue;
  queue.open([&] { ++wakes; });
  for (int i = 1; i <= 1200; ++i) queue.add(("W" + std::to_string(i)).c_str());
  EXPECT_EQ(wakes.load(), 1);
  const LogQueue::Batch batch = queue.take();
  ASSERT_EQ(batch.lines.size(), static_cast<size_t>(kMaxLogLines));
  EXPECT_EQ(batch.lines.front(), "W701");
  EXPECT_EQ(batch.lines.back(), "W1200");
  EXPECT_EQ(batch.dropped, 700u);

  queue.add("Wa");
  queue.set_status("Active connections: 01");
  EXPECT_EQ(wakes.load(), 2);
  const LogQueue::Batch status = queue.take();
  EXPECT_TRUE(status.status_changed);
  EXPECT_EQ(status.status, "Active connections: 01");
  queue.set_status("Active connections: 00");
  EXPECT_EQ(wakes.load(), 3);
  queue.discard_lines();
  EXPECT_EQ(queue.take().status, "Active connections: 00");
  queue.close();
  queue.add("Wclosed");
  queue.set_status("closed");
  EXPECT_EQ(wakes.load(), 3);
}

}  // namespace
}  // namespace kw
