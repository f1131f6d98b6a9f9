// The log queue between the logging threads and the log window: how few lines it keeps in a
// flood, and when it wakes the window. (What the window shows of it, the categories, pausing
// and whole blocks from many threads, is tested with the window.)
#include "shell/log_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace kw {
namespace {

class LogQueueTest : public ::testing::Test {
 protected:
  void TearDown() override { queue_.close(); }

  LogQueue queue_;
  std::atomic<int> wakes_{0};
  LogQueue::Wake counting_wake() {
    return [this] { ++wakes_; };
  }
};

TEST_F(LogQueueTest, AFloodKeepsOnlyTheLinesThatCouldBeShown) {
  queue_.open(counting_wake());
  for (int i = 1; i <= 1200; ++i) queue_.add(("W" + std::to_string(i)).c_str());
  const LogQueue::Batch batch = queue_.take();
  ASSERT_EQ(batch.lines.size(), static_cast<size_t>(kMaxLogLines));
  EXPECT_EQ(batch.lines.front(), "W701");
  EXPECT_EQ(batch.lines.back(), "W1200");
  EXPECT_EQ(batch.dropped, 700u);
}

TEST_F(LogQueueTest, WakesOnceUntilTheWindowHasTakenTheLines) {
  queue_.open(counting_wake());
  queue_.add("Wa");
  queue_.add("Wb");
  queue_.set_status("Active connections: 01");
  EXPECT_EQ(wakes_.load(), 1);
  const LogQueue::Batch batch = queue_.take();
  EXPECT_TRUE(batch.status_changed);
  EXPECT_EQ(batch.status, "Active connections: 01");
  queue_.set_status("Active connections: 00");
  EXPECT_EQ(wakes_.load(), 2);
  queue_.discard_lines();
  EXPECT_EQ(queue_.take().status, "Active connections: 00");
  queue_.close();
  queue_.add("Wclosed");
  queue_.set_status("closed");
  EXPECT_EQ(wakes_.load(), 2);
}

}  // namespace
}  // namespace kw
