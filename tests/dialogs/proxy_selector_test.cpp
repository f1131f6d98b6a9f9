// The proxy selector driven by ids: typed spaces dropped, an added entry shown and taken back by
// Cancel, Enter committing a typed text and a second closing as OK, a test locking the dialog.
#include "dialogs/proxy_selector.h"

#include <gtest/gtest.h>

#include <QTest>
#include <string>

#include "base/settings.h"
#include "dialogs/new_proxy_dialog.h"
#include "platform/net.h"
#include "proxies/proxy_list.h"
#include "proxies/proxy_tester.h"
#include "support/raw_client.h"
#include "support/recording_frontend.h"
#include "support/ui_driver.h"

namespace kw {
namespace {

class ProxySelectorTest : public ::testing::Test {
 protected:
  ProxySelectorTest() {
    net_startup();
    settings_clear_flags(Changed);
    parse_proxy_entry(nullptr, "old.example:3128");
  }
  ~ProxySelectorTest() override {
    clear_proxy_list();
    free_retired_proxies();
  }
};

TEST_F(ProxySelectorTest, CancelTakesTheAddedEntryBackAndEnterCommitsTheTypedText) {
  test::when_shown([&](Dialog& d) {
    test::when_shown([](Dialog& add) {
      test::type_into(add, kNewProxyField, "added one.example");
      test::press(add, kIdOk);
    });
    test::press(d, kProxyAddButton);
    EXPECT_EQ(d.combo(kProxyCombo)->count(), 2);
    EXPECT_EQ(d.text(kProxyCombo), "addedone.example:8080");
    test::close_box(d);
  });
  open_proxy_selector(nullptr);
  EXPECT_STREQ(proxy_list->host, "old.example");
  EXPECT_EQ(proxy_list->next, nullptr);
  EXPECT_EQ(proxy_list->marks, 0u);

  test::when_shown([&](Dialog& d) {
    test::type_into(d, kProxyCombo, "new host:81");
    test::send_enter(d);
    EXPECT_TRUE(d.is_running());
    EXPECT_EQ(d.text(kProxyCombo), "newhost:81");
    test::send_enter(d);
  });
  EXPECT_EQ(open_proxy_selector(nullptr), 1);
  ASSERT_NE(current_proxy.load(), nullptr);
  EXPECT_STREQ(current_proxy.load()->host, "newhost");
  EXPECT_EQ(current_proxy.load()->port, 81);
  EXPECT_TRUE(settings_flags() & Changed);
}

TEST_F(ProxySelectorTest, TestLocksTheDialogUntilItEnds) {
  test::RecordingFrontend log;
  // Nothing listens on this port: the test fails at connect, without the test server.
  const std::string closed = "127.0.0.1:" + std::to_string(test::closed_port());
  current_proxy.store(parse_proxy_entry(nullptr, closed.c_str()));
  test::when_shown([&](Dialog& d) {
    d.combo(kProxyCombo)->set_current_selection(-1);
    test::press(d, kProxyTestButton);  // nothing selected: nothing happens
    EXPECT_TRUE(d.is_enabled(kProxyOkButton));
    EXPECT_TRUE(log.lines().empty());
    d.combo(kProxyCombo)->set_current_selection(0);  // "127.0.0.1:..." sorts first
    test::press(d, kProxyTestButton);
    EXPECT_EQ(d.text(kProxyTestButton), "Abort");
    EXPECT_FALSE(d.is_enabled(kProxyOkButton));
    EXPECT_FALSE(d.is_enabled(kProxyCombo));
    test::close_box(d);
    EXPECT_TRUE(d.is_running());
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.is_enabled(kProxyCombo); }, 10000));
    EXPECT_EQ(d.text(kProxyTestButton), "Test");
    test::press(d, kProxyCancelButton);
  });
  open_proxy_selector(nullptr);
  EXPECT_TRUE(log.has_line("RFailed to connect to proxy"));
  EXPECT_EQ(proxy_test_state.load(), TEST_IDLE);
}

}  // namespace
}  // namespace kw
