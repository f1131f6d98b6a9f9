// The main window driven as its user drives it, offscreen: its switches, icons, status line,
// buttons, the question on closing, and Load and Save Config File through the file dialogs.
// (The commands' status texts and last-file rules are tested without windows.)
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <fstream>
#include <functional>
#include <thread>
#include <tuple>
#include <utility>

#include "base/settings.h"
#include "config/config_commands.h"
#include "dialogs/message_dialogs.h"
#include "dialogs/preferences_dialog.h"
#include "dialogs/proxy_selector.h"
#include "shell/config_file_dialog.h"
#include "shell/log_window.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/ui_driver.h"
#include "ui/menu_bar.h"

namespace kw {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_flags_ = settings_flags();
    saved_port_ = settings_port();
    settings_set_flags(kLoadDefaultFlags);
    settings().auto_run.clear();
    forget_last_config_file();
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
    settings().port.store(saved_port_);
    settings().auto_run.clear();
    forget_last_config_file();
  }

  // Acts on the next file dialog once it runs.
  static void when_file_dialog_shown(std::function<void(QFileDialog&)> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr) << "no file dialog is running";
      action(*dialog);
    });
  }

  Dialog& d() { return window_->dialog(); }
  MenuBar* bar() { return d().menu_bar(); }

  uint32_t saved_flags_ = 0;
  int saved_port_ = 0;
  test::ScratchDir dir_;
  DesktopFrontend frontend_;
  std::unique_ptr<MainWindow> window_;
  int closes_ = 0;
};

// The switches change the flags the engine reads. The window follows the plain-logic control
// states: Bypass greys the four filter switches but not the remote proxy, Escape enables Save
// Last Config.
TEST_F(MainWindowTest, SwitchesChangeTheFlagsAndTheControlsFollow) {
  const std::pair<int, uint32_t> switches[] = {
      {kWebPageFiltersCheck, FilterHTML}, {kOutgoingHeadersCheck, FilterHeadersOut},
      {kIncomingHeadersCheck, FilterHeadersIn}, {kFreezeGifCheck, FreezeGIF},
      {kRemoteProxyCheck, EnableProxy}};
  for (const auto& [id, flag] : switches) {
    EXPECT_TRUE(d().is_checked(id) && d().is_enabled(id)) << id;  // as the settings say
    test::press(d(), id);
    EXPECT_FALSE(settings_flags() & flag) << id;
    test::press(d(), id);
    EXPECT_TRUE(settings_flags() & flag) << id;
  }
  settings_clear_flags(Changed);  // the remote proxy switch is a configuration change

  EXPECT_FALSE(d().is_checked(kBypassToggle));
  test::press(d(), kBypassToggle);
  EXPECT_FALSE(settings_flags() & Enable);
  const QImage bypass_pushed = test::grab(d().control_widget(kBypassToggle));
  EXPECT_TRUE(d().is_checked(kBypassToggle));
  for (int id = kWebPageFiltersCheck; id <= kFreezeGifCheck; ++id) {
    EXPECT_FALSE(d().is_enabled(id)) << id;
    EXPECT_TRUE(d().is_checked(id)) << id;  // the marks still show the flags
  }
  EXPECT_TRUE(d().is_enabled(kRemoteProxyCheck));
  test::press(d(), kBypassToggle);
  EXPECT_TRUE(settings_flags() & Enable);
  // Drawn pushed exactly while filtering is off: the window tells the painter so.
  EXPECT_NE(test::grab(d().control_widget(kBypassToggle)), bypass_pushed);
  EXPECT_TRUE(d().is_enabled(kWebPageFiltersCheck));

  EXPECT_FALSE(settings_flags() & Changed);
  window_->sync_controls();
  EXPECT_FALSE(bar()->is_item_enabled(kSaveLastCommand));
  test::send_escape(d());
  EXPECT_TRUE(settings_flags() & Changed);
  EXPECT_TRUE(bar()->is_item_enabled(kSaveLastCommand));
  EXPECT_TRUE(d().isVisible());
  EXPECT_TRUE(bar()->is_item_enabled(kReloadLastCommand));
}

// The icons show their hints in yellow while highlighted; status texts from any thread reach
// the status line in order.
TEST_F(MainWindowTest, TheStatusLineShowsHintsAndStatusTextsFromAnyThread) {
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

  std::thread([] {
    set_status_text("Starting listener on port 8080", kYellow);
    set_status_text("--- Waiting for connections ---", kGreen);
  }).join();
  const std::string waiting = "--- Waiting for connections ---";
  ASSERT_TRUE(test::wait_until(
      [&] { return QApplication::processEvents(), d().text(kStatusLine) == waiting; }));
  EXPECT_EQ(main_window_record().status_colour.load(), kGreen);
  set_status_text("--- Error Loading Config File! ---", kRed);
  EXPECT_EQ(d().text(kStatusLine), "--- Error Loading Config File! ---");
  EXPECT_EQ(window_->on_text_colour(d(), kStatusLine), QColor(255, 0, 0));
}

// Closing asks "Save Configuration Changes" only after changes (filter switches are none):
// Don't Quit keeps the window, no choice forgets the changes, Save Changes saves to the last
// configuration file. (The menu's Exit is driven in the desktop program's tests.)
TEST_F(MainWindowTest, ClosingAsksToSaveOnlyAfterChanges) {
  const std::string last = dir_.file("last.cfg");
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
}

// The last row names a program in the preferences, which enables the Launch Auto-Run icon.
TEST_F(MainWindowTest, TheButtonsOpenTheirDialogs) {
  const std::tuple<int, int, int> rows[] = {  // button, its dialog's template, how to leave it
      {kWebPageButton, 103, kIdCancel}, {kHeadersButton, 110, kIdCancel},
      {kProxyButton, kProxySelectorTemplate, kProxyCancelButton}, {kConfigButton, 131, kIdOk}};
  EXPECT_FALSE(bar()->is_item_enabled(kLaunchAutoRunCommand));
  for (const auto& [button, dialog_template, leave] : rows) {
    int opened = 0;
    test::when_shown([&, button = button, leave = leave](Dialog& dialog) {
      opened = dialog.template_id();
      if (button == kConfigButton) test::type_into(dialog, kPrefsProgramField, "browser");
      test::press(dialog, leave);
    });
    EXPECT_FALSE(settings_flags() & Changed);
    test::press(d(), button);
    EXPECT_EQ(opened, dialog_template);
  }
  EXPECT_EQ(settings().auto_run, "browser");
  EXPECT_TRUE(bar()->is_item_enabled(kLaunchAutoRunCommand));
}

// Load Config File from the menu: the dialog's title and filters, the chosen file loaded, and
// the switches following it.
TEST_F(MainWindowTest, LoadConfigFileLoadsTheChosenFileAndTheSwitchesFollow) {
  const std::string path = dir_.file("bypass.cfg");
  test::write_file(path, "[Global]\r\nFreezeGIF = 1\r\nEnableProxy = 1\r\nPort = 4321\r\n");
  when_file_dialog_shown([&](QFileDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Config Load-A-Rama!");
    EXPECT_EQ(dialog.nameFilters(), (QStringList{"Config Files (*.cfg)", "Any old thing (*)"}));
    EXPECT_EQ(dialog.defaultSuffix(), "cfg");
    // The Type and Date columns are as wide as their entries, never cut at the opening width.
    const QHeaderView* header = dialog.findChild<QTreeView*>()->header();
    for (int column : {2, 3})
      EXPECT_EQ(header->sectionResizeMode(column), QHeaderView::ResizeToContents) << column;
    dialog.selectFile(QString::fromStdString(path));
    static_cast<QDialog&>(dialog).accept();
  });
  EXPECT_TRUE(test::choose_menu(d(), kLoadConfigCommand));
  EXPECT_EQ(settings_port(), 4321);
  EXPECT_STREQ(last_config_file(), path.c_str());
  EXPECT_FALSE(d().is_checked(kWebPageFiltersCheck));
  EXPECT_TRUE(d().is_checked(kFreezeGifCheck));
  EXPECT_TRUE(d().is_checked(kRemoteProxyCheck));
  EXPECT_TRUE(d().is_checked(kBypassToggle));  // Enable is clear
  EXPECT_EQ(window_->status_text(), "--- New Config File Loaded ---");
}

// Cancelled dialogs change nothing. A save dialog that cannot create a file would be no save
// dialog: a new name is taken, and the extension is added to a name typed without one.
TEST_F(MainWindowTest, CancelledFileDialogsChangeNothingAndSaveAcceptsANewName) {
  settings().port.store(8123);
  for (auto run : {load_config_dialog, save_config_dialog}) {
    when_file_dialog_shown([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(run(nullptr), 1);
  }
  EXPECT_EQ(frontend_.status_text().text, "--- Save Canceled ---");
  EXPECT_EQ(settings_port(), 8123);
  EXPECT_STREQ(last_config_file(), "");

  const std::string expected = dir_.file("fresh.cfg");
  when_file_dialog_shown([&](QFileDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Save-A-Config");
    dialog.selectFile(QString::fromStdString(dir_.file("fresh")));
    static_cast<QDialog&>(dialog).accept();
  });
  EXPECT_EQ(save_config_dialog(nullptr), 1);
  EXPECT_EQ(frontend_.status_text().text, "--- Config File Saved ---");
  EXPECT_STREQ(last_config_file(), expected.c_str());
  EXPECT_NE(test::read_file(expected).find("Port = 8123"), std::string::npos);
}

}  // namespace
}  // namespace kw
