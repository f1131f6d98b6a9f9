// The remote proxy tester against real peers on 127.0.0.1, working, failing and aborted. These
// use port 7734 and never run in parallel with each other.
#include "proxies/proxy_tester.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "platform/net.h"
#include "platform/process.h"
#include "platform/wait_until.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/origin_server.h"
#include "support/raw_client.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using namespace std::chrono_literals;

using Status = test::RecordingFrontend::Status;

// Keeps the last status shown and counts the ends of tests.
class RecordingView : public ProxyTestView {
 public:
  void set_proxy_status(const char* text, Rgb colour) override {
    std::lock_guard lock(mutex_);
    last_ = {text, colour};
  }
  void test_ended() override { ++ended; }
  Status last() {
    std::lock_guard lock(mutex_);
    return last_;
  }
  std::atomic<int> ended{0};

 private:
  std::mutex mutex_;
  Status last_{"", 0};
};

// tinyproxy from the system, with its own configuration in a scratch directory; `deny` makes it
// refuse every request with 403.
class TinyProxy {
 public:
  explicit TinyProxy(bool deny) : port_(test::closed_port()) {
    std::string config = "Port " + std::to_string(port_) + "\nListen 127.0.0.1\nTimeout 10\n" +
                         "Allow 127.0.0.1\nMaxClients 5\nLogFile \"" + dir_.file("log") + "\"\n";
    if (deny) {
      test::write_file(dir_.file("filter"), ".*\n");
      config += "Filter \"" + dir_.file("filter") + "\"\nFilterType ere\n";
    }
    test::write_file(dir_.file("conf"), config);
    const char* program =
        access("/usr/bin/tinyproxy", X_OK) == 0 ? "/usr/bin/tinyproxy" : "/usr/sbin/tinyproxy";
    ChildProcess::spawn({program, "-d", "-c", dir_.file("conf")}, &child_);
    started_ = wait_until([&] { return test::RawClient(port_).connected(); }, 10s);
  }
  ~TinyProxy() {
    child_.terminate();
    wait_until([&] { return !child_.running(); }, 10s);
  }
  bool started() const { return started_; }
  uint16_t port() const { return port_; }

 private:
  test::ScratchDir dir_;
  uint16_t port_;
  ChildProcess child_;
  bool started_ = false;
};

class ProxyTesterTest : public ::testing::Test {
 protected:
  ProxyTesterTest() { net_startup(); }

  ProxyEntry& entry(const std::string& host, uint16_t port) {
    return *parse_proxy_entry(nullptr, (host + ":" + std::to_string(port)).c_str());
  }
  // Runs a whole test of host:port from a clean log and returns the log.
  std::vector<std::string> run(const std::string& host, uint16_t port) {
    log.clear();
    view.ended = 0;
    EXPECT_TRUE(tester.start(view, entry(host, port)));
    return finish();
  }
  // Waits for the running test to end, checks that it ended once, and returns the log.
  std::vector<std::string> finish() {
    EXPECT_TRUE(wait_until([&] { return view.ended > 0; }, 20s));
    tester.wait();
    EXPECT_EQ(proxy_test_state.load(), TEST_IDLE);
    EXPECT_EQ(view.ended.load(), 1);
    clear_proxy_list();
    free_retired_proxies();
    return log.lines();
  }
  // A failed test: the lines starting with `expected` in this order (with `whole`, nothing
  // else), and its reason shown in orange.
  void expect_failure(const std::vector<std::string>& lines,
                      const std::vector<std::string>& expected, const std::string& reason,
                      bool whole = false) {
    size_t at = 0;
    for (const std::string& want : expected) {
      while (at < lines.size() && lines[at].rfind(want, 0) != 0) ++at;
      EXPECT_LT(at, lines.size()) << "missing or out of order: " << want;
    }
    if (whole) {
      EXPECT_EQ(lines.size(), expected.size());
    }
    EXPECT_EQ(view.last().text, reason);
    EXPECT_EQ(view.last().colour, kOrange);
  }

  test::RecordingFrontend log;
  RecordingView view;
  ProxyTester tester;
};

// The status keeps the proxy's name (or its address) in yellow. With port 7734 taken the test
// goes on, and the proxy's own error (here the occupant's answer) is what is reported.
TEST_F(ProxyTesterTest, WorkingProxyRelaysTheTestReplyUnlessItsPortIsTaken) {
  TinyProxy proxy(false);
  ASSERT_TRUE(proxy.started());
  const std::vector<std::string> lines = run("127.0.0.1", proxy.port());
  for (const char* line :
       {"CStarting HTTP test server", "CSending test request", "CWaiting for remote proxy's reply",
        "CProxy IP = 127.0.0.1", "W  >GET / HTTP/1.0", "W  >Host: 127.0.0.1:7734",
        "W  >Pragma: no-cache"}) {
    EXPECT_TRUE(log.has_line(line)) << line;
  }
  EXPECT_EQ(lines.back(), "CEnding proxy test");
  EXPECT_FALSE(log.has_line("CProxy test Failed!"));
  const Status status = view.last();
  EXPECT_EQ(status.colour, kYellow);
  EXPECT_TRUE(status.text == "localhost" || status.text == "127.0.0.1") << status.text;

  test::OriginServer occupant("HTTP/1.0 404 Not here\r\n\r\n", kProxyTestPort);
  ASSERT_TRUE(occupant.bound());
  expect_failure(run("127.0.0.1", proxy.port()),
                 {"RError binding to port 7734", "WHTTP/1.0 404 Not here", "CProxy test Failed!"},
                 "404 Not here");
}

TEST_F(ProxyTesterTest, FailuresAreLoggedAndShownInOrange) {
  {
    SCOPED_TRACE("403");
    TinyProxy proxy(true);
    ASSERT_TRUE(proxy.started());
    expect_failure(run("127.0.0.1", proxy.port()),
                   {"WHTTP/1.0 403 Filtered", "CProxy test Failed!"}, "403 Filtered");
  }
  SCOPED_TRACE("closed port");
  expect_failure(run("127.0.0.1", test::closed_port()),
                 {"W", "CTesting 127.0.0.1:", "CConnecting to remote proxy",
                  "RFailed to connect to proxy", "CEnding proxy test"},
                 "Failed to connect to proxy", true);
  SCOPED_TRACE("unresolvable");
  expect_failure(run("no-such-proxy.invalid", 3128),
                 {"W", "CTesting no-such-proxy.invalid:3128", "RLookup of proxy's hostname failed",
                  "CEnding proxy test"},
                 "Lookup of proxy's hostname failed", true);
  SCOPED_TRACE("short reply");
  test::OriginServer peer("HTTP/1.0");
  expect_failure(run("127.0.0.1", peer.port()), {"RNo reply from remote proxy"},
                 "No reply from remote proxy");
}

TEST_F(ProxyTesterTest, AbortWhileWaitingEndsAtOnce) {
  // A peer that reads and never answers.
  test::OriginServer silent([](int fd) {
    for (char c; recv(fd, &c, 1, 0) > 0;) {
    }
    return std::string();
  });
  ProxyEntry& proxy = entry("127.0.0.1", silent.port());
  ASSERT_TRUE(tester.start(view, proxy));
  EXPECT_FALSE(tester.start(view, proxy));  // one test at a time
  ASSERT_TRUE(log.wait_for_line("CWaiting for remote proxy's reply"));
  const auto pressed = std::chrono::steady_clock::now();
  ProxyTester::abort();
  const std::vector<std::string> lines = finish();
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, 2s);
  EXPECT_EQ(lines.back(), "R*** Proxy Test Aborted ***");
  EXPECT_FALSE(log.has_line("RNo reply from remote proxy"));
  expect_failure(lines, {"R*** Proxy Test Aborted ***"}, "*** Test Aborted ***");
}

}  // namespace
}  // namespace kw
