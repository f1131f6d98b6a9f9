// "Secure pages" driven by ids: the host entry rule, "&OK" storing the switch and the host list
// and making the authority, "&Cancel" keeping everything, and the certificate export.
#include "dialogs/secure_pages_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/settings.h"
#include "dialogs/message_dialogs.h"
#include "engine/listener.h"
#include "secure/interception.h"
#include "secure/secure_pages.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/ui_driver.h"
#include "ui/help_request.h"

namespace kw {
namespace {

using Hosts = std::vector<std::string>;

// Each test starts with inspection off, one pass-through host and an empty configuration folder.
class SecurePagesDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    settings_set_flags(kLoadDefaultFlags);
    pass_through_hosts() = {"bank.example"};
  }
  void TearDown() override {
    set_dialog_observer(nullptr);
    pass_through_hosts().clear();
    settings_set_flags(kLoadDefaultFlags);
  }

  // Opens the dialog and runs the action in it; the action ends it.
  static int run(std::function<void(Dialog&)> action) {
    test::when_shown(std::move(action));
    return open_secure_pages(nullptr);
  }

  // Adds two hosts (one by Enter in the field, one a repeat in other case) and deletes the
  // one that was there.
  static void edit_hosts(Dialog& d) {
    test::type_into(d, kSecureHostField, " *.Pinned.Example ");
    test::press(d, kSecureAddButton);
    test::type_into(d, kSecureHostField, "other.example");
    test::key(d, kSecureHostField, kVkReturn);
    test::type_into(d, kSecureHostField, "OTHER.example");
    test::press(d, kSecureAddButton);
    test::click_item(d, kSecureHostList, 0);
    test::press(d, kSecureDeleteButton);
    EXPECT_EQ(d.list(kSecureHostList)->count(), 2);
  }

  bool authority_exists() const {
    struct stat info;
    return stat(dir_.file("kestrelwick/ca.crt").c_str(), &info) == 0;
  }

  test::ScratchDir dir_;
};

TEST(PassThroughEntry, KeepsHostNamesAndRefusesWhatNamesNoHost) {
  const struct {
    const char* typed;
    const char* kept;
  } rows[] = {
      {"  Example.COM\t", "example.com"},
      {"*.cdn.example", "*.cdn.example"},
      {"10.0.0.1", "10.0.0.1"},
      {"", ""},
      {"   ", ""},
      {"*.", ""},
      {"a*.example", ""},
      {"*.*.example", ""},
      {"two words", ""},
      {"say\"hi", ""},
      {"example.com/path", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(pass_through_entry(row.typed), row.kept) << row.typed;
  EXPECT_EQ(pass_through_entry(std::string(256, 'a')), "");
}

// Connection threads read the list without a lock: while one is active the list is not
// replaced, and going back from the question keeps the dialog open with nothing applied.
TEST_F(SecurePagesDialogTest, OkWaitsForNoActiveConnectionAndStoresTheSwitchAndTheList) {
  adjust_active_connections(1);
  const int result = run([](Dialog& d) {
    EXPECT_EQ(d.title(), "Secure pages");
    EXPECT_FALSE(d.is_checked(kSecureInspectCheck));
    EXPECT_EQ(d.list(kSecureHostList)->item_text(0).toStdString(), "bank.example");
    edit_hosts(d);
    test::press(d, kSecureInspectCheck);
    test::when_shown([](Dialog& box) {
      EXPECT_EQ(box.title(), "Filters In Use!");
      test::press(box, kMessageOk);
    });
    test::press(d, kIdOk);
    EXPECT_TRUE(d.is_running());
    EXPECT_EQ(pass_through_hosts(), Hosts{"bank.example"});
    EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
    test::when_shown([](Dialog& box) {
      adjust_active_connections(-1);
      test::press(box, kRetryButton);
    });
    test::press(d, kIdOk);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(pass_through_hosts(), (Hosts{"*.pinned.example", "other.example"}));
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags | InspectSecure | Changed);
  EXPECT_TRUE(authority_exists());
  EXPECT_NE(inspection_leaves(), nullptr);

  // Switched off again, the authority stays on disk for the next time.
  run([](Dialog& d) {
    test::press(d, kSecureInspectCheck);
    test::press(d, kIdOk);
  });
  EXPECT_FALSE(settings_has(InspectSecure));
  EXPECT_TRUE(authority_exists());
}

int help_topic = 0;

TEST_F(SecurePagesDialogTest, CancelChangesNothing) {
  set_help_handler([](int topic) { help_topic = topic; });
  const int result = run([](Dialog& d) {
    test::send_help(d);
    edit_hosts(d);
    test::press(d, kSecureInspectCheck);
    test::press(d, kIdCancel);
  });
  set_help_handler(nullptr);
  EXPECT_EQ(help_topic, 90);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pass_through_hosts(), Hosts{"bank.example"});
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
  EXPECT_FALSE(authority_exists());
}

TEST_F(SecurePagesDialogTest, ExportWritesTheCertificateAndNeverTheKey) {
  const std::string target = dir_.file("exported.crt");
  run([&](Dialog& d) {
    QTimer::singleShot(0, [&] {
      auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(files, nullptr);
      EXPECT_EQ(files->windowTitle(), "Export the certificate");
      files->selectFile(QString::fromStdString(target));
      static_cast<QDialog*>(files)->accept();
    });
    test::press(d, kSecureExportButton);
    EXPECT_EQ(d.text(kSecureExportResult), "Certificate written to " + target);
    test::press(d, kIdCancel);
  });
  const std::string pem = test::read_file(target);
  EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----", 0), 0u) << pem;
  EXPECT_EQ(pem.find("PRIVATE KEY"), std::string::npos);
}

}  // namespace
}  // namespace kw
