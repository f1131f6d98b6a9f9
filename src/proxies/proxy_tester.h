// The remote proxy tester. It asks the proxy under test for "http://<this machine>:7734/",
// serves that URL itself from a one-shot HTTP server on port 7734, and passes when the proxy
// relays the answer with status 200. Each step goes to the log (category letters C, R, W) and
// to the selector's status line; Abort ends the test at any step.
//
// Threads: the selector starts a test from the user-interface thread; the test runs on a
// controlling thread, which runs the client side and starts the test server on a third thread.
// Every wait of either thread polls in short slices and gives up once proxy_test_state leaves
// TEST_RUNNING, so Abort (and the end of the client side) takes effect at once. The
// controlling thread waits for the server before it calls test_ended, its last call on the
// view; the view must stay alive until then.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "proxies/proxy_list.h"
#include "report/frontend.h"

namespace kw {

enum ProxyTestState : int { TEST_IDLE = 0, TEST_RUNNING = 1, TEST_STOPPING = 2, TEST_ABORTED = 3 };
extern std::atomic<int> proxy_test_state;

inline constexpr uint16_t kProxyTestPort = 7734;
// Status colour of failures; green and yellow are the frontend's.
inline constexpr Rgb kOrange = 0xFF8000;

// The selector as the tester sees it.
class ProxyTestView {
 public:
  virtual ~ProxyTestView() = default;
  // The status line; called from the tester's threads.
  virtual void set_proxy_status(const char* text, Rgb colour) = 0;
  // The test is over: the button reads "Test" again and the controls are enabled. Called once
  // per test from the controlling thread, as its last use of the view.
  virtual void test_ended() = 0;
};

// The body of the controlling thread, for a test of host:port. The caller has already moved
// proxy_test_state from TEST_IDLE to TEST_RUNNING; it is TEST_IDLE again on return.
void run_proxy_test(ProxyTestView& view, const std::string& host, int32_t port);

// One test at a time on a thread of its own.
class ProxyTester {
 public:
  ProxyTester() = default;
  ProxyTester(const ProxyTester&) = delete;
  ProxyTester& operator=(const ProxyTester&) = delete;
  // Aborts a running test and waits for its thread.
  ~ProxyTester();

  // Starts a test of the entry (its host and port are copied now); false while a test runs.
  bool start(ProxyTestView& view, ProxyEntry& entry);
  // Asks a running test to stop; nothing while none runs.
  static void abort();
  // Waits until the test's thread has ended.
  void wait();

 private:
  std::thread thread_;
};

}  // namespace kw
