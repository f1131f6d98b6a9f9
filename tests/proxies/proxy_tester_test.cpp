// The remote proxy tester against real peers on 127.0.0.1: tinyproxy working and refusing with
// 403, a closed port, a name that cannot resolve, a peer whose reply is too short, port 7734
// already taken, and Abort while the reply is awaited. These use port 7734 and never run in
// parallel with each other.
#include "proxies/proxy_tester.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "platform/process.h"
#include "platform/wait_until.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using namespace std::chrono_literals;

struct Status {
  std::string text;
  Rgb colour;
};

class RecordingView : public ProxyTestView {
 public:
  void set_proxy_status(const char* text, Rgb colour) override {
    std::lock_guard lock(mutex_);
    statuses_.push_back({text, colour});
  }
  void test_ended() override {
    std::lock_guard lock(mutex_);
    ++ended_;
    cv_.notify_all();
  }
  bool wait_ended() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 20s, [&] { return ended_ > 0; });
  }
  Status last() {
    std::lock_guard lock(mutex_);
    return statuses_.empty() ? Status{"", 0} : statuses_.back();
  }
  int ended() {
    std::lock_guard lock(mutex_);
    return ended_;
  }
  void reset() {
    std::lock_guard lock(mutex_);
    statuses_.clear();
    ended_ = 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Status> statuses_;
  int ended_ = 0;
};

uint16_t free_port() {
  Socket s = net_socket_tcp();
  net_bind_loopback(s, 0);
  const uint16_t port = net_local_port(s);
  net_close(s);
  return port;
}

bool accepts_connections(uint16_t port) {
  Socket s = net_socket_tcp();
  const bool ok = net_connect(s, htonl(0x7F000001), port) == 1;
  net_close(s);
  return ok;
}

// tinyproxy from the system, with its own configuration in a scratch directory; `deny` makes it
// refuse every request with 403.
class TinyProxy {
 public:
  explicit TinyProxy(bool deny) : port_(free_port()) {
    std::string config = "Port " + std::to_string(port_) +
                         "\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\nMaxClients 5\n"
                         "LogFile \"" + dir_.file("log") + "\"\n";
    if (deny) {
      test::write_file(dir_.file("filter"), ".*\n");
      config += "Filter \"" + dir_.file("filter") + "\"\nFilterType ere\n";
    }
    test::write_file(dir_.file("conf"), config);
    const char* program = access("/usr/bin/tinyproxy", X_OK) == 0 ? "/usr/bin/tinyproxy"
                                                                   : "/usr/sbin/tinyproxy";
    ChildProcess::spawn({program, "-d", "-c", dir_.file("conf")}, &child_);
    started_ = wait_until([&] { return accepts_connections(port_); }, 10s);
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

// A peer on any address and `port` (0: a free one) that answers each request header with
// `reply` and closes; with an empty reply it accepts and never answers.
class ScriptedPeer {
 public:
  ScriptedPeer(uint16_t port, std::string reply) : reply_(std::move(reply)) {
    listener_ = net_socket_tcp();
    net_set_reuseaddr(listener_);
    bound_ = net_bind_any(listener_, port) && net_listen(listener_, 10);
    port_ = net_local_port(listener_);
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedPeer() {
    stop_ = true;
    net_shutdown(listener_);
    for (Socket s : held_) net_shutdown(s);
    thread_.join();
    for (Socket s : held_) net_close(s);
    net_close(listener_);
  }
  bool bound() const { return bound_; }
  uint16_t port() const { return port_; }

 private:
  void serve() {
    while (!stop_) {
      Socket c = net_accept(listener_, nullptr);
      if (c == kNoSocket) return;
      if (reply_.empty()) {
        held_.push_back(c);
        continue;
      }
      // The whole request header first: closing on a peer still sending resets it.
      std::string request;
      char buffer[2048];
      int n;
      while (request.find("\r\n\r\n") == std::string::npos &&
             (n = net_recv(c, buffer, sizeof buffer)) > 0) {
        request.append(buffer, static_cast<size_t>(n));
      }
      net_send_all(c, reply_.data(), reply_.size());
      net_close(c);
    }
  }

  std::string reply_;
  Socket listener_;
  bool bound_ = false;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::vector<Socket> held_;
  std::thread thread_;
};

class ProxyTesterTest : public ::testing::Test {
 protected:
  ProxyTesterTest() { net_startup(); }

  // Runs a whole test of host:port and returns the log.
  std::vector<std::string> run(const std::string& host, uint16_t port) {
    ProxyEntry* entry = parse_proxy_entry(nullptr, (host + ":" + std::to_string(port)).c_str());
    EXPECT_TRUE(tester.start(view, *entry));
    EXPECT_TRUE(view.wait_ended());
    tester.wait();
    EXPECT_EQ(proxy_test_state.load(), TEST_IDLE);
    EXPECT_EQ(view.ended(), 1);
    clear_proxy_list();
    free_retired_proxies();
    return log.lines();
  }

  test::RecordingFrontend log;
  RecordingView view;
  ProxyTester tester;
};

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(ProxyTesterTest, WorkingProxyRelaysTheTestReply) {
  TinyProxy proxy(false);
  ASSERT_TRUE(proxy.started());
  const std::vector<std::string> lines = run("127.0.0.1", proxy.port());
  for (const char* line : {"CStarting HTTP test server", "CSending test request",
                           "CWaiting for remote proxy's reply", "CProxy IP = 127.0.0.1",
                           "W  >GET / HTTP/1.0", "W  >Host: 127.0.0.1:7734",
                           "W  >Pragma: no-cache"}) {
    EXPECT_TRUE(contains(lines, line)) << line;
  }
  EXPECT_EQ(lines.back(), "CEnding proxy test");
  EXPECT_FALSE(contains(lines, "CProxy test Failed!"));
  // The status keeps the proxy's name (or its address) in yellow.
  const Status status = view.last();
  EXPECT_EQ(status.colour, kYellow);
  EXPECT_TRUE(status.text == "localhost" || status.text == "127.0.0.1") << status.text;
}

TEST_F(ProxyTesterTest, FailuresAreLoggedAndShownInOrange) {
  struct Row {
    const char* name;
    enum { Deny, Closed, Unresolvable, Short } peer;
    std::vector<std::string> expected;  // in this order, each after the last
    std::string status;
  } rows[] = {
      {"403", Row::Deny, {"WHTTP/1.0 403 Filtered", "CProxy test Failed!"}, "403 Filtered"},
      {"closed port",
       Row::Closed,
       {"W", "CTesting 127.0.0.1:", "CConnecting to remote proxy", "RFailed to connect to proxy",
        "CEnding proxy test"},
       "Failed to connect to proxy"},
      {"unresolvable",
       Row::Unresolvable,
       {"W", "CTesting no-such-proxy.invalid:3128", "RLookup of proxy's hostname failed",
        "CEnding proxy test"},
       "Lookup of proxy's hostname failed"},
      {"short reply", Row::Short, {"RNo reply from remote proxy"}, "No reply from remote proxy"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    log.clear();
    view.reset();
    std::vector<std::string> lines;
    if (row.peer == Row::Deny) {
      TinyProxy proxy(true);
      ASSERT_TRUE(proxy.started());
      lines = run("127.0.0.1", proxy.port());
    } else if (row.peer == Row::Closed) {
      lines = run("127.0.0.1", free_port());
    } else if (row.peer == Row::Unresolvable) {
      lines = run("no-such-proxy.invalid", 3128);
    } else {
      ScriptedPeer peer(0, "HTTP/1.0");
      lines = run("127.0.0.1", peer.port());
    }
    // Each expected line (a prefix for "CTesting") appears, in order.
    size_t at = 0;
    for (const std::string& want : row.expected) {
      while (at < lines.size() && lines[at].rfind(want, 0) != 0) ++at;
      EXPECT_LT(at, lines.size()) << "missing or out of order: " << want;
    }
    if (row.peer == Row::Closed) {
      EXPECT_EQ(lines.size(), row.expected.size());
    }
    if (row.peer == Row::Unresolvable) {
      EXPECT_EQ(lines, row.expected);
    }
    EXPECT_EQ(view.last().text, row.status);
    EXPECT_EQ(view.last().colour, kOrange);
  }
}

TEST_F(ProxyTesterTest, PortInUseIsLoggedAndTheProxysErrorReported) {
  ScriptedPeer occupant(kProxyTestPort, "HTTP/1.0 404 Not here\r\n\r\n");
  ASSERT_TRUE(occupant.bound());
  TinyProxy proxy(false);
  ASSERT_TRUE(proxy.started());
  const std::vector<std::string> lines = run("127.0.0.1", proxy.port());
  EXPECT_TRUE(contains(lines, "RError binding to port 7734"));
  EXPECT_TRUE(contains(lines, "WHTTP/1.0 404 Not here"));
  EXPECT_TRUE(contains(lines, "CProxy test Failed!"));
  EXPECT_EQ(view.last().text, "404 Not here");
}

TEST_F(ProxyTesterTest, AbortWhileWaitingEndsAtOnce) {
  ScriptedPeer silent(0, "");
  ProxyEntry* entry = parse_proxy_entry(nullptr, ("127.0.0.1:" + std::to_string(silent.port())).c_str());
  ASSERT_TRUE(tester.start(view, *entry));
  EXPECT_FALSE(tester.start(view, *entry));  // one test at a time
  ASSERT_TRUE(log.wait_for_line("CWaiting for remote proxy's reply"));
  const auto pressed = std::chrono::steady_clock::now();
  ProxyTester::abort();
  ASSERT_TRUE(view.wait_ended());
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, 2s);
  tester.wait();
  EXPECT_EQ(proxy_test_state.load(), TEST_IDLE);
  const std::vector<std::string> lines = log.lines();
  EXPECT_EQ(lines.back(), "R*** Proxy Test Aborted ***");
  EXPECT_FALSE(contains(lines, "RNo reply from remote proxy"));
  EXPECT_EQ(view.last().text, "*** Test Aborted ***");
  EXPECT_EQ(view.last().colour, kOrange);
  clear_proxy_list();
  free_retired_proxies();
}

}  // namespace
}  // namespace kw
