// The platform layer: the socket layer's cleanup fails every blocked call at once; the
// single-instance socket; started programs inherit nothing of this process but its environment,
// directory and standard descriptors; the pool of parked threads.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <latch>
#include <optional>
#include <string>
#include <thread>

#include "platform/instance_socket.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/thread_pool.h"
#include "support/child_record.h"
#include "support/threads.h"

namespace kw {
namespace {

using test::read_child_runs;
using test::wait_until;

// A listener on a free port, a client connected to it and the accepted end; all closed at the
// end of the test. Cleanup must fail every blocked call at once and never touch a closed
// descriptor; an orderly close and a send to a closed peer report what happened.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_startup();
    listener_ = net_socket_tcp();
    ASSERT_EQ(net_bind_loopback(listener_, 0), 1);
    ASSERT_EQ(net_listen(listener_, 10), 1);
    client_ = net_socket_tcp();
    ASSERT_EQ(net_connect(client_, htonl(INADDR_LOOPBACK), net_local_port(listener_)), 1);
    served_ = net_accept(listener_, &peer_);
    ASSERT_NE(served_, kNoSocket);
  }
  void TearDown() override {
    net_close(served_);
    net_close(client_);
    net_close(listener_);
    net_startup();
  }

  Socket listener_ = kNoSocket, client_ = kNoSocket, served_ = kNoSocket;
  uint32_t peer_ = 0;
};

TEST_F(NetTest, CleanupWakesBlockedAcceptAndRecv) {
  EXPECT_EQ(peer_, htonl(INADDR_LOOPBACK));
  std::atomic<int> accept_result{1}, recv_result{1};
  std::atomic<pid_t> acceptor_id{0}, reader_id{0};
  std::thread acceptor([&] {
    acceptor_id = gettid();
    accept_result = net_accept(listener_, nullptr);
  });
  std::thread reader([&] {
    reader_id = gettid();
    char byte;
    recv_result = net_recv(served_, &byte, 1);
  });
  // Both threads must be inside their calls before the cleanup, or it would prove nothing.
  EXPECT_TRUE(wait_until([&] {
    return acceptor_id && reader_id && test::blocked_syscall(acceptor_id) == SYS_accept4 &&
           test::blocked_syscall(reader_id) == SYS_recvfrom;
  }));
  net_cleanup();
  acceptor.join();
  reader.join();
  EXPECT_EQ(accept_result, kNoSocket);
  EXPECT_EQ(recv_result, -1) << "a killed socket must not look like an orderly close";
  EXPECT_EQ(net_socket_tcp(), kNoSocket) << "no sockets between cleanup and startup";
}

TEST_F(NetTest, OrderlyCloseReadsAsZeroAndSendToAClosedPeerFailsWithoutSignal) {
  net_close(client_);
  client_ = kNoSocket;
  char byte;
  EXPECT_EQ(net_recv(served_, &byte, 1), 0);
  char block[65536] = {};
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i) result = net_send(served_, block, sizeof block);
  EXPECT_EQ(result, -1);
}

// The single-instance socket, with XDG_RUNTIME_DIR at a fresh directory of its own, so tests
// and a real running program never meet.
class InstanceSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = getenv("XDG_RUNTIME_DIR")) old_runtime_ = old;
    ASSERT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  void TearDown() override {
    if (old_runtime_) {
      setenv("XDG_RUNTIME_DIR", old_runtime_->c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
  }

  test::ScratchDir dir_;
  std::string runtime_ = dir_.file("run");
  std::optional<std::string> old_runtime_;
};

// The name starts out held by a bound socket whose process went away without removing it.
TEST_F(InstanceSocketTest, FirstClaimListensTakesOverACrashedCopysSocketAndShunsOpenDirectories) {
  const std::string path = runtime_ + "/KestrelCls";
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(stale);
  {
    InstanceSocket first;
    ASSERT_EQ(first.claim("KestrelCls"), kInstanceFirst);
    EXPECT_EQ(first.path(), path);
    EXPECT_GE(first.fd(), 0);
    EXPECT_EQ(first.take_requests(), 0);

    InstanceSocket second;
    EXPECT_EQ(second.claim("KestrelCls"), kInstanceOther);
    EXPECT_EQ(second.fd(), -1);
    EXPECT_TRUE(wait_until([&] { return first.take_requests() == 1; }));

    InstanceSocket other_class;  // another name is another program
    EXPECT_EQ(other_class.claim("OtherCls"), kInstanceFirst);
  }
  EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the name is freed at the end";

  // A directory that others may write into is never used.
  ASSERT_EQ(::chmod(runtime_.c_str(), 0777), 0);
  const std::string directory = instance_socket_directory();
  EXPECT_NE(directory, runtime_);
  if (!directory.empty()) {
    struct stat st {};
    ASSERT_EQ(::lstat(directory.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(st.st_uid, ::geteuid());
  }
}

// Command lines split the way a user quotes them.
TEST(SplitCommandLine, QuotesGroupAndAreDropped) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"", {}}, {" \t ", {}}, {"browser", {"browser"}},
      {"  browser   -a\t-b  ", {"browser", "-a", "-b"}},
      {"\"/opt/my browser/run\" --page", {"/opt/my browser/run", "--page"}},
      {"a\"b c\"d e", {"ab cd", "e"}}, {"run \"\" x", {"run", "", "x"}},
      {"run \"open to the end", {"run", "open to the end"}},
      {"run 'single quotes' stay", {"run", "'single", "quotes'", "stay"}}};
  for (const auto& [line, words] : cases) EXPECT_EQ(split_command_line(line), words) << line;
}

// A descriptor without close-on-exec, as a careless library might leave one, and the ignored
// SIGPIPE of the proxy must not reach the started program; one that ended by itself is reaped
// and never signalled.
TEST(ChildProcess, InheritsNoDescriptorsOrIgnoredSignalsAndIsReaped) {
  test::ScratchDir dir;
  const std::string record = dir.file("record");
  int leaked[2];
  ASSERT_EQ(::pipe(leaked), 0);
  auto old_pipe = std::signal(SIGPIPE, SIG_IGN);
  ChildProcess child;
  ASSERT_EQ(ChildProcess::spawn({test::test_child_path(), record, "two words"}, &child), 1);
  std::signal(SIGPIPE, old_pipe);
  ::close(leaked[0]);
  ::close(leaked[1]);
  ASSERT_TRUE(wait_until([&] { return read_child_runs(record).size() == 1; }));
  const test::ChildRun run = read_child_runs(record)[0];
  EXPECT_EQ(run.pid, child.pid());
  EXPECT_EQ(run.extra_fds, 0);
  EXPECT_TRUE(run.sigpipe_default);
  EXPECT_EQ(run.args, std::vector<std::string>{"two words"});
  EXPECT_EQ(child.terminate(), 1);
  EXPECT_TRUE(wait_until([&] { return !child.running(); }));

  ChildProcess ended;
  ASSERT_EQ(ChildProcess::spawn({test::test_child_path(), record, "--exit"}, &ended), 1);
  EXPECT_TRUE(wait_until([&] { return !ended.running(); }));
  EXPECT_EQ(ended.pid(), 0);
  EXPECT_EQ(ended.terminate(), 0);
}

// The pool of parked threads: jobs never wait for each other, threads are reused up to the
// number that may park, and destroying the pool with parked threads ends them cleanly. This
// counts the threads of this process that carry the parked threads' name.
int threads_named_parked() {
  int n = 0;
  for (pid_t id : test::thread_ids()) n += test::thread_name(id) == kParkedThreadName ? 1 : 0;
  return n;
}

// Jobs that hold their threads until released, noting the stack size they run on.
struct Gate {
  std::atomic<int> started{0};
  std::atomic<size_t> stack{0};
  std::latch open{1};

  static void job(void* gate) {
    auto* g = static_cast<Gate*>(gate);
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    size_t bytes = 0;
    pthread_attr_getstacksize(&attributes, &bytes);
    pthread_attr_destroy(&attributes);
    g->stack = bytes;
    ++g->started;
    g->open.wait();
  }
  bool wait_started(int n) {
    return wait_until([&] { return started.load() >= n; });
  }
};

TEST(ThreadPool, BurstsBeyondTheParkedThreadsRunAtOnceOnTheirStackSizeAndThreadsAreReused) {
  constexpr int kParked = 4;
  ThreadPool pool(128 * 1024, kParked);
  // Every job of a burst of three times the parked threads runs at the same time.
  Gate first;
  for (int i = 0; i < 3 * kParked; ++i) ASSERT_TRUE(pool.run(Gate::job, &first));
  ASSERT_TRUE(first.wait_started(3 * kParked));
  EXPECT_EQ(pool.threads(), 3 * kParked);
  // A job's stack is the size asked for, not the system's default.
  EXPECT_GE(first.stack.load(), 128u * 1024);
  EXPECT_LT(first.stack.load(), 1024u * 1024);
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

}  // namespace
}  // namespace kw
