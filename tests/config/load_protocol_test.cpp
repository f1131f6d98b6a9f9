// A configuration load while real connections run through the proxy: the question and its
// three answers, and a connection that arrives while the load holds the connection lock.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <future>
#include <memory>
#include <set>
#include <string>

#include "config/config_reader.h"
#include "config_state.h"
#include "engine/listener.h"
#include "platform/thread_pool.h"
#include "support/child_record.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"
#include "support/threads.h"

namespace kw {
namespace {

using test::OriginServer;
using test::RawClient;
using test::wait_until;

const std::string kReply = "HTTP/1.0 200 OK\r\n\r\nbody";

// Port 0 in both files: Kill Connections starts a new listener on the Port setting.
const std::string kBefore =
    "[Global]\nEnable = TRUE\nPort = 0\n[Patterns]\nName = before\nMatch = b\n"
    "[Proxies]\n>before.example:1\n";
const std::string kAfter =
    "[Global]\nFreezeGIF = TRUE\nPort = 0\n[Patterns]\nName = after\nMatch = a\n";

class LoadWithConnections : public test::ProxyTest {
 protected:
  void TearDown() override {
    test::ProxyTest::TearDown();
    test::reset_configuration();
  }

  test::ScratchDir dir_;
};

// With a connection active, Go Back or the box closed without a choice changes nothing and
// leaves the connection alone; Retry asks again until the connections have ended, then loads;
// Kill Connections ends them, loads and starts a new listener.
TEST_F(LoadWithConnections, TheQuestionsAnswers) {
  const std::string before = dir_.file("before.cfg"), after = dir_.file("after.cfg");
  test::write_file(before, kBefore);
  test::write_file(after, kAfter);
  ASSERT_EQ(load_config(before.c_str()), 1);
  settings_add_flags(Changed);
  const std::string state_before = test::configuration_text();
  // A browser connection that stays active: its server sends the head and then waits.
  std::unique_ptr<OriginServer> held_origin;
  std::unique_ptr<RawClient> held_client;
  const auto hold_a_connection = [&] {
    held_origin = std::make_unique<OriginServer>(
        std::vector<test::ReplyPiece>{{"HTTP/1.0 200 OK\r\n\r\n", 0}, {"late", 60000}});
    held_client = std::make_unique<RawClient>(port_);
    held_client->send("GET " + held_origin->url("/held") + " HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(wait_until([&] { return held_origin->connections() == 1; }));
    ASSERT_EQ(active_connection_count(), 1);
  };

  hold_a_connection();
  for (int answer : {kAskGoBack, kAskClosed}) {
    frontend_.script_answers([answer](int) { return answer; });
    EXPECT_EQ(load_config(after.c_str()), 0);
    EXPECT_EQ(test::configuration_text(), state_before);
    EXPECT_EQ(active_connection_count(), 1);
  }
  EXPECT_EQ(frontend_.questions_asked(), 2);

  // The second round ends the connection from the server's side before it answers.
  frontend_.script_answers([&](int round) {
    if (round == 1) {
      held_origin.reset();
      EXPECT_TRUE(wait_until([] { return active_connection_count() == 0; }));
    }
    return kAnswerRetry;
  });
  EXPECT_EQ(load_config(after.c_str()), 1);
  EXPECT_EQ(frontend_.questions_asked(), 4);
  EXPECT_EQ(test::configuration_text(),
            "flags=2 port=0 autorun= texture= texture= texture= texture= texture=\n"
            "web after||-|-|4096|a|-\n");

  hold_a_connection();
  frontend_.script_answers(
      [](int round) { return round == 0 ? kAnswerKillConnections : kAskGoBack; });
  EXPECT_EQ(load_config(before.c_str()), 1);
  EXPECT_EQ(frontend_.questions_asked(), 5);
  EXPECT_EQ(settings_flags(), uint32_t{Enable});
  held_client->read_all(10000);
  EXPECT_TRUE(held_client->closed());
  EXPECT_EQ(held_origin->replies_completed(), 0);
  ASSERT_TRUE(wait_until([&] { return lines_starting("WListening on port").size() == 2; }));
  OriginServer origin(kReply);
  EXPECT_EQ(test::exchange(listening_port(), "GET " + origin.url("/") + " HTTP/1.0\r\n\r\n"),
            kReply);
}

TEST_F(LoadWithConnections, AConnectionDuringTheLoadWaitsAndSeesTheNewSettings) {
  OriginServer origin(kReply);
  OriginServer upstream("HTTP/1.0 200 OK\r\n\r\nfrom the remote proxy");
  const std::string fifo = dir_.file("slow.cfg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  // The file arrives in two parts; the connection starts between them, while the load holds
  // the connection lock. The writer is declared last so that, should the test stop early, it
  // closes first and lets the load and then the browser finish.
  std::future<int> load = std::async(std::launch::async, [&] { return load_config(fifo.c_str()); });
  std::future<std::string> browser;
  std::ofstream writer(fifo);  // opening waits for the load to open the pipe
  ASSERT_TRUE(writer << "[Global]\r\nEnable = TRUE\r\nEnableProxy = TRUE\r\nPort = 0\r\n"
                     << std::flush);
  // The connection may run on a new thread or on one an earlier connection left parked, which
  // takes its own name back with the job: threads at work now are the ones to leave out.
  std::set<pid_t> working;
  for (pid_t id : test::thread_ids())
    if (test::thread_name(id) != kParkedThreadName) working.insert(id);
  std::atomic<pid_t> browser_id{0};
  browser = std::async(std::launch::async, [&] {
    browser_id = gettid();
    return test::exchange(port_, "GET " + origin.url("/page") + " HTTP/1.0\r\n\r\n");
  });
  // The proxy's thread for this connection is at work and waits on the lock.
  EXPECT_TRUE(wait_until([&] {
    return std::ranges::any_of(test::thread_ids(), [&](pid_t id) {
      return !working.count(id) && id != browser_id && test::blocked_syscall(id) == SYS_futex &&
             test::thread_name(id) != kParkedThreadName;
    });
  }));
  EXPECT_EQ(origin.connections() + upstream.connections(), 0);
  ASSERT_TRUE(writer << "[Proxies]\r\n>127.0.0.1:" << upstream.port() << "\r\n" << std::flush);
  writer.close();

  EXPECT_EQ(load.get(), 1);
  EXPECT_EQ(browser.get(), "HTTP/1.0 200 OK\r\n\r\nfrom the remote proxy");
  ASSERT_TRUE(upstream.wait_for_requests(1));
  EXPECT_EQ(upstream.requests()[0], "GET " + origin.url("/page") + " HTTP/1.0\r\n\r\n");
  EXPECT_EQ(origin.connections(), 0);
  EXPECT_TRUE(frontend_.has_line("CUsing Proxy - 127.0.0.1:" + std::to_string(upstream.port())));
  EXPECT_EQ(frontend_.questions_asked(), 0);
}

}  // namespace
}  // namespace kw
