// The pool of parked threads: jobs never wait for each other, threads are reused up to the
// number that may park, and destroying the pool with parked threads ends them cleanly.
#include "platform/thread_pool.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <dirent.h>

#include <atomic>
#include <fstream>
#include <latch>
#include <string>

#include "support/child_record.h"  // wait_until

namespace kw {
namespace {

using test::wait_until;

// Threads of this process that carry the parked threads' name.
int threads_named_parked() {
  int n = 0;
  DIR* tasks = opendir("/proc/self/task");
  while (dirent* e = readdir(tasks)) {
    if (e->d_name[0] == '.') continue;
    std::string name;
    std::getline(std::ifstream(std::string("/proc/self/task/") + e->d_name + "/comm"), name);
    n += name == kParkedThreadName ? 1 : 0;
  }
  closedir(tasks);
  return n;
}

// Jobs that hold their threads until released.
struct Gate {
  std::atomic<int> started{0};
  std::latch open{1};

  static void job(void* gate) {
    auto* g = static_cast<Gate*>(gate);
    ++g->started;
    g->open.wait();
  }
  bool wait_started(int n) {
    return wait_until([&] { return started.load() >= n; });
  }
};

TEST(ThreadPool, BurstsBeyondTheParkedThreadsRunAtOnceAndThreadsAreReused) {
  constexpr int kParked = 4;
  ThreadPool pool(128 * 1024, kParked);
  // Every job of a burst of three times the parked threads runs at the same time.
  Gate first;
  for (int i = 0; i < 3 * kParked; ++i) ASSERT_TRUE(pool.run(Gate::job, &first));
  ASSERT_TRUE(first.wait_started(3 * kParked));
  EXPECT_EQ(pool.threads(), 3 * kParked);
  first.open.count_down();
  ASSERT_TRUE(wait_until([&] { return pool.threads() == kParked && pool.parked() == kParked; }));
  // Parked threads are told from working ones by their name (what the soak run counts on).
  EXPECT_EQ(threads_named_parked(), kParked);

  // The next burst takes the parked threads first and starts new ones only for the rest: the
  // pool then holds the parked threads and the new ones, nothing more.
  Gate second;
  for (int i = 0; i < 2 * kParked; ++i) ASSERT_TRUE(pool.run(Gate::job, &second));
  ASSERT_TRUE(second.wait_started(2 * kParked));
  EXPECT_EQ(pool.parked(), 0);
  EXPECT_EQ(pool.threads(), 2 * kParked);
  EXPECT_EQ(threads_named_parked(), 0);
  second.open.count_down();
  ASSERT_TRUE(wait_until([&] { return pool.parked() == kParked; }));
  // The destructor ends the parked threads (the sanitizer builds check that nothing is left).
}

// A job's stack is the size asked for, not the system's default.
TEST(ThreadPool, ThreadsHaveTheStackSizeAskedFor) {
  ThreadPool pool(192 * 1024, 1);
  std::atomic<size_t> size{0};
  auto job = [](void* out) {
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    size_t bytes = 0;
    pthread_attr_getstacksize(&attributes, &bytes);
    pthread_attr_destroy(&attributes);
    static_cast<std::atomic<size_t>*>(out)->store(bytes);
  };
  ASSERT_TRUE(pool.run(job, &size));
  ASSERT_TRUE(wait_until([&] { return size.load() != 0; }));
  EXPECT_GE(size.load(), 192u * 1024);
  EXPECT_LT(size.load(), 1024u * 1024);
}

}  // namespace
}  // namespace kw
