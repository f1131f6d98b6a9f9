// The listener fixture; see proxy_fixture.h.
#include "support/proxy_fixture.h"

#include "base/settings.h"
#include "engine/listener.h"
#include "platform/net.h"
#include "platform/program_directory.h"
#include "proxies/proxy_list.h"
#include "support/raw_client.h"

namespace kw::test {

void ProxyTest::SetUp() {
  net_startup();
  settings_set_flags(kLoadDefaultFlags);
  settings().port.store(0);
  current_proxy.store(nullptr);
  set_listener_start_pause(20);
  launch_listener(settings_port());
  wait_until([] { return listening_port() != 0; });
  port_ = listening_port();
  ASSERT_NE(port_, 0) << "the listener did not come up";
}

void ProxyTest::TearDown() {
  stop_proxy();
  current_proxy.store(nullptr);
}

void ProxyTest::stop_proxy() {
  stop_requested.store(1);
  net_cleanup();
  wait_until([] { return listener_running.load() == 0 && active_connections() == 0; }, 20000);
  stop_requested.store(0);
  net_startup();
}

int ProxyTest::active_connections() { return adjust_active_connections(0); }

bool ProxyTest::wait_for_closes(size_t n, int timeout_ms) const {
  return wait_until([&] { return lines_starting("W+++CLOSE ").size() >= n; }, timeout_ms);
}

std::vector<std::string> ProxyTest::lines_starting(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : frontend_.lines()) {
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  }
  return found;
}

std::string ProxyTest::get(const OriginServer& origin, const std::string& path) const {
  return test::exchange(port_, "GET " + origin.url(path) + " HTTP/1.0\r\n\r\n");
}

std::string directory_url() {
  std::string url(7 + 3 * std::string(program_directory()).size() + 1, '\0');
  url.resize(static_cast<size_t>(program_directory_url(url.data())));
  return url;
}

}  // namespace kw::test
