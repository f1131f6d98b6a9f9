// The log queue between the logging threads and the log window: when lines are taken or
// dropped, how few lines it keeps in a flood, when it wakes the window, and that blocks written
// under log_lock by many threads at once come out whole.
#include "shell/log_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shell/frontend.h"

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

TEST_F(LogQueueTest, DropsLinesWithoutAWindowAndWhilePaused) {
  EXPECT_EQ(queue_.add("Wnobody"), 0);
  EXPECT_EQ(queue_.category_on(kLogHttpHeaders), 0);
  EXPECT_EQ(queue_.category_on(7), 0);

  queue_.open(counting_wake());
  EXPECT_EQ(queue_.add("Wone"), 1);
  queue_.set_paused(true);
  EXPECT_EQ(queue_.add("Wpaused"), 0);
  queue_.set_paused(false);
  EXPECT_EQ(queue_.add("Wtwo"), 1);
  EXPECT_EQ(queue_.take().lines, (std::vector<std::string>{"Wone", "Wtwo"}));

  queue_.add("Wwaiting");
  queue_.close();
  EXPECT_EQ(queue_.add("Wafter"), 0);
  queue_.open(counting_wake());
  EXPECT_TRUE(queue_.take().lines.empty());  // a new window starts empty
}

TEST_F(LogQueueTest, CategoriesStartOnAndOtherCodesAreAlwaysOn) {
  queue_.open(counting_wake());
  EXPECT_EQ(queue_.category_on(kLogHtmlFilters), 1);
  EXPECT_EQ(queue_.category_on(kLogHttpHeaders), 1);
  queue_.set_category(kLogHttpHeaders, false);
  EXPECT_EQ(queue_.category_on(kLogHttpHeaders), 0);
  EXPECT_EQ(queue_.category_on(kLogHtmlFilters), 1);
  EXPECT_EQ(queue_.category_on(3), 1);
  queue_.close();
  queue_.open(counting_wake());
  EXPECT_EQ(queue_.category_on(kLogHttpHeaders), 1);
}

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

// Connection threads write their blocks under log_lock; the lines of a block must come out
// together however the threads interleave, and nobody waits for the reader.
TEST_F(LogQueueTest, BlocksFromManyThreadsStayWhole) {
  queue_.open([] {});
  constexpr int kThreads = 8, kBlocks = 200, kBlockLines = 6;
  // Each line taken, and whether older lines were pushed out just before it.
  std::vector<std::string> taken;
  std::vector<bool> gap_before;
  auto take = [&] {
    LogQueue::Batch batch = queue_.take();
    for (size_t i = 0; i < batch.lines.size(); ++i) {
      taken.push_back(std::move(batch.lines[i]));
      gap_before.push_back(i == 0 && batch.dropped > 0);
    }
  };
  std::atomic<bool> writing{true};
  std::thread reader([&] {
    while (writing.load()) {
      take();
      std::this_thread::yield();
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int b = 0; b < kBlocks; ++b) {
        LogLock lock;
        for (int l = 0; l < kBlockLines; ++l) {
          queue_.add(("G" + std::to_string(t) + ":" + std::to_string(b) + ":" + std::to_string(l))
                         .c_str());
        }
      }
    });
  }
  for (std::thread& w : writers) w.join();
  writing = false;
  reader.join();
  take();

  // A line that does not end its block is followed by the next line of that block, unless a
  // flood pushed lines out between them.
  auto block_of = [](const std::string& line) { return line.substr(0, line.rfind(':')); };
  auto index_of = [](const std::string& line) {
    return std::stoi(line.substr(line.rfind(':') + 1));
  };
  int whole_blocks = 0;
  for (size_t i = 0; i + 1 < taken.size(); ++i) {
    if (gap_before[i + 1]) continue;
    const int k = index_of(taken[i]);
    if (k + 1 < kBlockLines) {
      EXPECT_EQ(taken[i + 1], block_of(taken[i]) + ":" + std::to_string(k + 1)) << "line " << i;
    } else {
      EXPECT_EQ(index_of(taken[i + 1]), 0) << "line " << i + 1;
      ++whole_blocks;
    }
  }
  EXPECT_GT(whole_blocks, 0);
}

}  // namespace
}  // namespace kw
