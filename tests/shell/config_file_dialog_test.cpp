// Load Config File and Save Config File through the skinned file dialogs, driven as the user
// drives them: the titles and filters, the chosen file loaded or saved, cancelled dialogs, Save
// accepting a new name, and the main window's switches following a load. (The commands' status
// texts and last-file rules are tested without dialogs.)
#include "shell/config_file_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <fstream>
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

  std::string write_config(const std::string& name, const std::string& global) {
    const std::string path = dir_.file(name);
    std::ofstream(path) << "[Global]\r\n" << global << "\r\n";
    return path;
  }

  DesktopFrontend frontend_;
  test::ScratchDir dir_;
  uint32_t saved_flags_ = 0;
  int saved_port_ = 0;
};

TEST_F(ConfigFileDialogTest, CancelledDialogsChangeNothing) {
  settings().port.store(1234);
  std::string title;
  for (auto run : {load_config_dialog, save_config_dialog}) {
    when_file_dialog_shown([&](QFileDialog& dialog) {
      title = dialog.windowTitle().toStdString();
      dialog.reject();
    });
    EXPECT_EQ(run(nullptr), 1);
  }
  EXPECT_EQ(title, "Save-A-Config");
  EXPECT_EQ(frontend_.status_text().text, "--- Save Canceled ---");
  EXPECT_EQ(settings_port(), 1234);
  EXPECT_STREQ(last_config_file(), "");
}

// A save dialog that cannot create a file would be no save dialog: a new name is taken, and
// the extension is added to a name typed without one.
TEST_F(ConfigFileDialogTest, SaveAcceptsANewName) {
  settings().port.store(8123);
  const std::string expected = dir_.file("fresh.cfg");
  when_file_dialog_shown([&](QFileDialog& dialog) {
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

  const std::string path =
      write_config("bypass.cfg", "FreezeGIF = 1\r\nEnableProxy = 1\r\nPort = 4321");
  std::string title;
  QStringList filters;
  QString suffix;
  std::vector<QHeaderView::ResizeMode> type_and_date;
  when_file_dialog_shown([&](QFileDialog& dialog) {
    title = dialog.windowTitle().toStdString();
    filters = dialog.nameFilters();
    suffix = dialog.defaultSuffix();
    const QHeaderView* header = dialog.findChild<QTreeView*>()->header();
    type_and_date = {header->sectionResizeMode(2), header->sectionResizeMode(3)};
    dialog.selectFile(QString::fromStdString(path));
    static_cast<QDialog&>(dialog).accept();
  });
  EXPECT_TRUE(test::choose_menu(d, kLoadConfigCommand));
  EXPECT_EQ(title, "Config Load-A-Rama!");
  EXPECT_EQ(filters, (QStringList{"Config Files (*.cfg)", "Any old thing (*)"}));
  EXPECT_EQ(suffix, "cfg");
  // The Type and Date columns are as wide as their entries, never cut at the opening width.
  EXPECT_EQ(type_and_date, std::vector<QHeaderView::ResizeMode>(2, QHeaderView::ResizeToContents));
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
