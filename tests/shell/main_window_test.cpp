// The main window driven as its user drives it, offscreen: its switches, icons, status line,
// buttons, and the question on closing.
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <fstream>
#include <thread>

#include "base/settings.h"
#include "config/config_commands.h"
#include "dialogs/message_dialogs.h"
#include "dialogs/preferences_dialog.h"
#include "dialogs/proxy_selector.h"
#include "shell/log_window.h"
#include "support/child_record.h"
#include "support/ui_driver.h"
#include "ui/menu_bar.h"

namespace kw {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_flags_ = settings_flags();
    settings_set_flags(kLoadDefaultFlags);
    settings().auto_run.clear();
    install_frontend(&frontend_);
    open_window();
  }

  void open_window() {
    window_.reset();
    window_ = std::make_unique<MainWindow>(main_window_record());
    window_->connect_frontend(frontend_);
    window_->set_close_handler([this] { ++closes_; });
    window_->show(false);
    test::activate(&window_->dialog());
  }

  void TearDown() override {
    close_log_window();
    window_.reset();
    install_frontend(nullptr);
    settings_set_flags(saved_flags_);
    settings().auto_run.clear();
  }

  Dialog& d() { return window_->dialog(); }
  MenuBar* bar() { return d().menu_bar(); }

  uint32_t saved_flags_ = 0;
  DesktopFrontend frontend_;
  std::unique_ptr<MainWindow> window_;
  int closes_ = 0;
};

TEST_F(MainWindowTest, SwitchesChangeTheFlagsTheEngineReads) {
  const struct {
    int id;
    uint32_t flag;
  } switches[] = {{kWebPageFiltersCheck, FilterHTML},
                  {kOutgoingHeadersCheck, FilterHeadersOut},
                  {kIncomingHeadersCheck, FilterHeadersIn},
                  {kFreezeGifCheck, FreezeGIF},
                  {kRemoteProxyCheck, EnableProxy}};
  EXPECT_FALSE(d().is_checked(kBypassToggle));
  for (const auto& s : switches) {
    EXPECT_TRUE(d().is_checked(s.id) && d().is_enabled(s.id)) << s.id;  // as the settings say
    test::press(d(), s.id);
    EXPECT_FALSE(settings_flags() & s.flag) << s.id;
    EXPECT_FALSE(d().is_checked(s.id)) << s.id;
    test::press(d(), s.id);
    EXPECT_TRUE(settings_flags() & s.flag) << s.id;
    EXPECT_TRUE(d().is_checked(s.id)) << s.id;
  }
}

// The window follows the plain-logic control states: Bypass greys the four filter switches but
// not the remote proxy, Escape enables Save Last Config, an auto-run line Launch Auto-Run.
TEST_F(MainWindowTest, ControlsFollowTheFlagsAndTheAutoRunLine) {
  test::press(d(), kBypassToggle);
  EXPECT_FALSE(settings_flags() & Enable);
  const QImage bypass_pushed = test::grab(d().control_widget(kBypassToggle));
  EXPECT_TRUE(d().is_checked(kBypassToggle));
  for (int id = kWebPageFiltersCheck; id <= kFreezeGifCheck; ++id) {
    EXPECT_FALSE(d().is_enabled(id)) << id;
    EXPECT_TRUE(d().is_checked(id)) << id;  // the marks still show the flags
  }
  EXPECT_TRUE(d().is_enabled(kRemoteProxyCheck));
  EXPECT_FALSE(settings_flags() & Changed);
  test::press(d(), kBypassToggle);
  EXPECT_TRUE(settings_flags() & Enable);
  EXPECT_FALSE(d().is_checked(kBypassToggle));
  // Drawn pushed exactly while filtering is off: the window tells the painter so.
  EXPECT_NE(test::grab(d().control_widget(kBypassToggle)), bypass_pushed);
  EXPECT_TRUE(d().is_enabled(kWebPageFiltersCheck));

  EXPECT_FALSE(bar()->is_item_enabled(kSaveLastCommand));
  test::send_escape(d());
  EXPECT_TRUE(settings_flags() & Changed);
  EXPECT_TRUE(bar()->is_item_enabled(kSaveLastCommand));
  EXPECT_TRUE(d().isVisible());

  EXPECT_FALSE(bar()->is_item_enabled(kLaunchAutoRunCommand));
  EXPECT_TRUE(bar()->is_item_enabled(kReloadLastCommand));
  settings().auto_run = "browser";
  window_->sync_controls();
  EXPECT_TRUE(bar()->is_item_enabled(kLaunchAutoRunCommand));
}

TEST_F(MainWindowTest, TheIconsShowTheirHintsInYellowWhileHighlighted) {
  test::hover_menu(d(), kReloadLastCommand);
  QApplication::processEvents();
  EXPECT_EQ(window_->status_text(), "Reload Last Config");
  EXPECT_EQ(main_window_record().status_colour.load(), kYellow);
  // Moving from icon to icon shows each one's hint.
  test::hover_menu(d(), kLaunchAutoRunCommand);
  test::hover_menu(d(), kSaveLastCommand);
  QApplication::processEvents();
  EXPECT_EQ(window_->status_text(), "Save Last Config");
  test::hover_menu(d(), 0);
  QApplication::processEvents();
  EXPECT_EQ(window_->status_text().rfind("Active connections: ", 0), 0u);
  EXPECT_EQ(main_window_record().status_colour.load(), kGreen);
}

TEST_F(MainWindowTest, StatusTextsFromAnyThreadReachTheStatusLineInOrder) {
  std::thread([] {
    set_status_text("Starting listener on port 8080", kYellow);
    set_status_text("--- Waiting for connections ---", kGreen);
  }).join();
  ASSERT_TRUE(test::wait_until([&] {
    QApplication::processEvents();
    return d().text(kStatusLine) == "--- Waiting for connections ---";
  }));
  EXPECT_EQ(main_window_record().status_colour.load(), kGreen);
  set_status_text("--- Error Loading Config File! ---", kRed);
  EXPECT_EQ(d().text(kStatusLine), "--- Error Loading Config File! ---");
  EXPECT_EQ(window_->on_text_colour(d(), kStatusLine), QColor(255, 0, 0));
}

// Closing asks "Save Configuration Changes" only after changes (filter switches are none):
// Don't Quit keeps the window, no choice forgets the changes, Save Changes saves to the last
// configuration file. (The menu's Exit is driven in the desktop program's tests.)
TEST_F(MainWindowTest, ClosingAsksToSaveOnlyAfterChanges) {
  test::ScratchDir dir;
  const std::string last = dir.file("last.cfg");
  set_last_config_file(last.c_str());
  constexpr int kNoAnswer = 0, kQuestionClosed = -1;
  const struct {
    int change, answer;
    bool closes;
  } rows[] = {{kWebPageFiltersCheck, kNoAnswer, true},
              {kRemoteProxyCheck, kDontQuitButton, false},
              {kRemoteProxyCheck, kQuestionClosed, true},
              {kRemoteProxyCheck, kMessageOk, true}};  // "&Save Changes"
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    settings_set_flags(kLoadDefaultFlags);
    closes_ = 0;
    open_window();
    test::press(d(), row.change);
    std::string asked;
    test::when_shown([&](Dialog& box) {
      asked = box.title();
      row.answer == kQuestionClosed ? test::close_box(box) : test::press(box, row.answer);
    });
    test::close_box(d());
    set_dialog_observer(nullptr);
    EXPECT_EQ(asked, row.answer == kNoAnswer ? "" : "Save Configuration Changes");
    EXPECT_EQ(closes_, row.closes ? 1 : 0);
    EXPECT_EQ(d().isVisible(), !row.closes);
    EXPECT_EQ(std::ifstream(last).good(), row.answer == kMessageOk);
  }
  EXPECT_FALSE(settings_flags() & Changed);
  forget_last_config_file();
}

// The last row names a program in the preferences, which enables the Launch Auto-Run icon.
TEST_F(MainWindowTest, TheButtonsOpenTheirDialogs) {
  const int port = settings_port();
  const struct {
    int button, dialog_template, cancel;
  } rows[] = {{kWebPageButton, 103, kIdCancel},
              {kHeadersButton, 110, kIdCancel},
              {kProxyButton, kProxySelectorTemplate, kProxyCancelButton},
              {kConfigButton, 131, kIdOk}};
  for (const auto& row : rows) {
    int opened = 0;
    test::when_shown([&](Dialog& dialog) {
      opened = dialog.template_id();
      if (row.button == kConfigButton) test::type_into(dialog, kPrefsProgramField, "browser");
      test::press(dialog, row.cancel);
    });
    EXPECT_FALSE(settings_flags() & Changed);
    test::press(d(), row.button);
    EXPECT_EQ(opened, row.dialog_template);
  }
  EXPECT_EQ(settings().auto_run, "browser");
  EXPECT_TRUE(bar()->is_item_enabled(kLaunchAutoRunCommand));
  settings().port.store(port);
}

}  // namespace
}  // namespace kw
