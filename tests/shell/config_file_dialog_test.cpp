// Load Config File and Save Config File through the file dialogs, driven as the user drives
// them. (The commands' status texts and last-file rules are tested without dialogs.)
#include "shell/config_file_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <vector>

#include "base/settings.h"
#include "config/config_commands.h"
#include "shell/desktop_frontend.h"
#include "shell/main_window.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/ui_driver.h"

namespace kw {
namespace {

// Acts on the next file dialog once it runs.
void when_file_dialog_shown(std::function<void(QFileDialog&)> action) {
  QTimer::singleShot(0, [action = std::move(action)] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr) << "no file dialog is running";
    action(*dialog);
  });
}

class ConfigFileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_frontend(&frontend_);
    saved_flags_ = settings_flags();
    saved_port_ = settings_port();
    forget_last_config_file();
  }
  void TearDown() override {
    install_frontend(nullptr);
    settings_set_flags(saved_flags_);
    settings().port.store(saved_port_);
    forget_last_config_file();
  }

  DesktopFrontend frontend_;
  test::ScratchDir dir_;
  uint32_t saved_flags_ = 0;
  int saved_port_ = 0;
};

// Cancelled dialogs change nothing. A save dialog that cannot create a file would be no save
// dialog: a new name is taken, and the extension is added to a name typed without one.
TEST_F(ConfigFileDialogTest, CancelledDialogsChangeNothingAndSaveAcceptsANewName) {
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

// Load Config File from the main window's menu: the dialog's title and filters, the chosen file
// loaded, and the switches following it.
TEST_F(ConfigFileDialogTest, LoadLoadsTheChosenFileAndTheMainWindowsSwitchesFollow) {
  settings_set_flags(kLoadDefaultFlags);
  MainWindow window(main_window_record());
  window.connect_frontend(frontend_);
  window.set_close_handler(nullptr);
  window.show(false);
  Dialog& d = window.dialog();
  ASSERT_TRUE(d.is_checked(kWebPageFiltersCheck));

  const std::string path = dir_.file("bypass.cfg");
  test::write_file(path, "[Global]\r\nFreezeGIF = 1\r\nEnableProxy = 1\r\nPort = 4321\r\n");
  when_file_dialog_shown([&](QFileDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Config Load-A-Rama!");
    EXPECT_EQ(dialog.nameFilters(), (QStringList{"Config Files (*.cfg)", "Any old thing (*)"}));
    EXPECT_EQ(dialog.defaultSuffix(), "cfg");
    // The Type and Date columns are as wide as their entries, never cut at the opening width.
    const QHeaderView* header = dialog.findChild<QTreeView*>()->header();
    EXPECT_EQ(header->sectionResizeMode(2), QHeaderView::ResizeToContents);
    EXPECT_EQ(header->sectionResizeMode(3), QHeaderView::ResizeToContents);
    dialog.selectFile(QString::fromStdString(path));
    static_cast<QDialog&>(dialog).accept();
  });
  EXPECT_TRUE(test::choose_menu(d, kLoadConfigCommand));
  EXPECT_EQ(settings_port(), 4321);
  EXPECT_STREQ(last_config_file(), path.c_str());
  EXPECT_FALSE(d.is_checked(kWebPageFiltersCheck));
  EXPECT_TRUE(d.is_checked(kFreezeGifCheck));
  EXPECT_TRUE(d.is_checked(kRemoteProxyCheck));
  EXPECT_TRUE(d.is_checked(kBypassToggle));  // Enable is clear
  EXPECT_EQ(window.status_text(), "--- New Config File Loaded ---");
}

}  // namespace
}  // namespace kw
