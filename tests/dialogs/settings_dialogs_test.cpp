// "Preference Settings" and "Secure pages" driven by ids: storing or refusing what was typed,
// textures taking effect at once, the pass-through hosts, the authority and its export.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/settings.h"
#include "dialogs/file_dialog.h"
#include "dialogs/message_dialogs.h"
#include "dialogs/preferences_dialog.h"
#include "dialogs/secure_pages_dialog.h"
#include "engine/listener.h"
#include "secure/interception.h"
#include "secure/secure_pages.h"
#include "skin/builtin_art.h"
#include "skin/textures.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/ui_driver.h"

namespace kw {
namespace {

// Opens a dialog and runs the action in it; the action ends it, with the expected result.
void run(int (*open)(QWidget*), int result, std::function<void(Dialog&)> action) {
  test::when_shown(std::move(action));
  EXPECT_EQ(open(nullptr), result);
}

// Every test starts from a loaded default configuration with the built-in textures.
class PreferencesDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_set_flags(kLoadDefaultFlags);
    settings().port.store(8080);
    settings().auto_run.clear();
    load_textures();
  }
  void TearDown() override {
    set_dialog_observer(nullptr);
    for (std::string& path : settings().texture_paths) path.clear();
    load_textures();
  }

  std::string bitmap_file(const char* name, QColor colour) {
    QImage image(128, 128, QImage::Format_RGB32);
    image.fill(colour);
    const std::string path = dir_.file(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    return path;
  }

  test::ScratchDir dir_;
};

// A pixel near the top-left corner of the control's client area, where its texture starts.
QRgb preview_pixel(Dialog& d, int id) {
  QWidget* w = d.control_widget(id);
  return test::grab(w).pixel(w->contentsRect().topLeft() + QPoint(2, 2));
}

// The readings of port texts are the model's; here the field reaches it, and a port no listener
// can use is refused and kept for mending. "Run program at startup" is enabled exactly while
// there is a program, and its label lies over its box: a click on it must reach the box.
TEST_F(PreferencesDialogTest, OkStoresWhatWasSetOrRefusesThePort) {
  settings().port.store(1234);
  settings_set_flags(kLoadDefaultFlags | EnableAutoRun);  // the flag alone starts nothing
  run(open_preferences, 1, [&](Dialog& d) {
    EXPECT_FALSE(d.is_enabled(kPrefsRunAtStartupCheck));  // checked: the click below clears it
    test::press(d, kPrefsNoTexturesCheck);
    test::press(d, kPrefsAlwaysUseCheck);  // clears No Textures
    test::press(d, kPrefsAlwaysUseCheck);  // both may be clear
    EXPECT_FALSE(d.is_checked(kPrefsAlwaysUseCheck));
    test::press(d, kPrefsAlwaysUseCheck);
    EXPECT_EQ(d.text(kPrefsPortField), "1234");
    test::type_into(d, kPrefsProgramField, "  /usr/bin/browser");
    const QPoint label = d.units().rect(102, 28, 73, 8).center();
    QWidget* under = d.client_area()->childAt(label);
    ASSERT_EQ(under, d.control_widget(kPrefsRunAtStartupCheck));
    QTest::mouseClick(under, Qt::LeftButton, Qt::NoModifier,
                      under->mapFrom(d.client_area(), label));
    d.set_text(kPrefsPortField, "");
    test::type_into(d, kPrefsPortField, "70000");
    test::when_shown([&](Dialog& box) {
      EXPECT_EQ(box.text(kMessageText), "The Listener Port must be a number from 1 to 65535.");
      test::press(box, kMessageOk);
    });
    test::press(d, kIdOk);
    EXPECT_TRUE(d.is_running());
    EXPECT_EQ(d.focused_id(), kPrefsPortField);
    test::key(d, kPrefsPortField, kVkBack);  // the refused text stays: 7000
    test::press(d, kIdOk);
  });
  EXPECT_EQ(settings_port(), 7000);
  EXPECT_EQ(settings().auto_run, "/usr/bin/browser");
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags | ForceTextures | Changed);
}

// Each choice repaints the field's preview and the text colour on it at once; Cancel keeps the
// rest as it was.
TEST_F(PreferencesDialogTest, TextureChoicesTakeEffectAtOnceAndSurviveCancel) {
  settings().auto_run = "/usr/bin/browser";
  settings().texture_paths[kFace2Texture] = bitmap_file("black.bmp", Qt::black);
  load_textures();
  // What the file dialog of the next texture choice does.
  auto next_file_dialog = [](std::function<void(Dialog& strip, QFileDialog&)> action) {
    test::when_shown([action](Dialog& strip) {
      auto* file_dialog = qobject_cast<QFileDialog*>(strip.window());
      ASSERT_NE(file_dialog, nullptr);
      action(strip, *file_dialog);
    });
  };
  const QImage builtin = builtin_texture(kFace2Texture).toImage();
  const std::string white = bitmap_file("white.bmp", Qt::white);
  run(open_preferences, 1, [&](Dialog& d) {
    EXPECT_EQ(QColor(preview_pixel(d, kPrefsFace2Field)), QColor(Qt::black));
    EXPECT_EQ(d.proc().on_text_colour(d, kPrefsFace2Field), QColor(Qt::white));
    next_file_dialog([&](Dialog& strip, QFileDialog& files) {
      EXPECT_EQ(files.nameFilters(), QStringList{"Bitmap Files (*.bmp)"});
      test::press(strip, kDefaultBitmapButton);
    });
    test::press(d, kPrefsFace2Field);
    EXPECT_EQ(settings().texture_paths[kFace2Texture], "");
    EXPECT_EQ(preview_pixel(d, kPrefsFace2Field), builtin.pixel(2, 2));

    next_file_dialog([&](Dialog&, QFileDialog& files) {
      files.selectFile(QString::fromStdString(white));
      static_cast<QDialog&>(files).accept();
    });
    test::press(d, kPrefsFace2Field);
    EXPECT_EQ(QColor(preview_pixel(d, kPrefsFace2Field)), QColor(Qt::white));
    EXPECT_EQ(d.proc().on_text_colour(d, kPrefsFace2Field), QColor(Qt::black));
    // The other fields keep their own textures.
    EXPECT_EQ(preview_pixel(d, kPrefsInsetField), texture(kInsetTexture).toImage().pixel(2, 2));

    next_file_dialog([&](Dialog&, QFileDialog& files) { files.reject(); });
    test::press(d, kPrefsFace2Field);
    EXPECT_EQ(settings().texture_paths[kFace2Texture], white);

    next_file_dialog([&](Dialog&, QFileDialog& files) {
      EXPECT_TRUE(files.selectedFiles().value(0).contains("[none]"));
      files.reject();
    });
    test::press(d, kPrefsButtonsButton);
    EXPECT_TRUE(d.is_enabled(kPrefsRunAtStartupCheck));
    test::key(d, kPrefsProgramField, 'A', kKeyCtrl);
    test::key(d, kPrefsProgramField, kVkDelete);
    EXPECT_FALSE(d.is_enabled(kPrefsRunAtStartupCheck));
    test::press(d, kIdCancel);
  });
  EXPECT_EQ(settings().auto_run, "/usr/bin/browser");
  EXPECT_EQ(settings().texture_paths[kFace2Texture], white);
  EXPECT_TRUE(settings_flags() & Changed);
}

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

  // Adds two hosts (by Enter and by the button, one twice in other case), deletes the first.
  static void edit_hosts(Dialog& d) {
    test::type_into(d, kSecureHostField, " *.Pinned.Example ");
    test::press(d, kSecureAddButton);
    test::type_into(d, kSecureHostField, "other.example");
    test::key(d, kSecureHostField, kVkReturn);
    test::type_into(d, kSecureHostField, "OTHER.example");
    test::press(d, kSecureAddButton);
    test::click_item(d, kSecureHostList, 0);
    test::press(d, kSecureDeleteButton);
  }

  bool authority_exists() const {
    return !test::read_file(dir_.file("kestrelwick/ca.crt")).empty();
  }

  test::ScratchDir dir_;
};

TEST(PassThroughEntry, KeepsHostNamesAndRefusesWhatNamesNoHost) {
  EXPECT_EQ(pass_through_entry("  Example.COM\t"), "example.com");
  for (const char* kept : {"*.cdn.example", "10.0.0.1"}) EXPECT_EQ(pass_through_entry(kept), kept);
  for (const char* typed :
       {"", "   ", "*.", "a*.example", "*.*.example", "two words", "say\"hi", "example.com/path"}) {
    EXPECT_EQ(pass_through_entry(typed), "") << typed;
  }
  EXPECT_EQ(pass_through_entry(std::string(256, 'a')), "");
}

// "&Cancel" changes nothing. Connection threads read the list without a lock: while one is
// active the list is not replaced, and going back from the question keeps the dialog open with
// nothing applied. The export writes the authority's certificate, never its key.
TEST_F(SecurePagesDialogTest, OkWaitsForNoActiveConnectionAndTheCertificateExports) {
  run(open_secure_pages, 0, [](Dialog& d) {
    edit_hosts(d);
    test::press(d, kSecureInspectCheck);
    test::press(d, kIdCancel);
  });
  EXPECT_EQ(pass_through_hosts(), std::vector<std::string>{"bank.example"});
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
  EXPECT_FALSE(authority_exists());

  adjust_active_connections(1);
  run(open_secure_pages, 1, [](Dialog& d) {
    edit_hosts(d);
    test::press(d, kSecureInspectCheck);
    test::when_shown([](Dialog& box) {
      EXPECT_EQ(box.title(), "Filters In Use!");
      test::press(box, kMessageOk);
    });
    test::press(d, kIdOk);
    EXPECT_TRUE(d.is_running());
    EXPECT_EQ(pass_through_hosts(), std::vector<std::string>{"bank.example"});
    EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
    test::when_shown([](Dialog& box) {
      adjust_active_connections(-1);
      test::press(box, kRetryButton);
    });
    test::press(d, kIdOk);
  });
  EXPECT_EQ(pass_through_hosts(), (std::vector<std::string>{"*.pinned.example", "other.example"}));
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags | InspectSecure | Changed);
  EXPECT_TRUE(authority_exists());
  EXPECT_NE(inspection_leaves(), nullptr);

  // Switched off again, the authority stays on disk for the next time.
  const std::string target = dir_.file("exported.crt");
  run(open_secure_pages, 1, [&](Dialog& d) {
    test::press(d, kSecureInspectCheck);
    QTimer::singleShot(0, [&] {
      auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(files, nullptr);
      files->selectFile(QString::fromStdString(target));
      static_cast<QDialog*>(files)->accept();
    });
    test::press(d, kSecureExportButton);
    EXPECT_EQ(d.text(kSecureExportResult), "Certificate written to " + target);
    test::press(d, kIdOk);
  });
  EXPECT_FALSE(settings_has(InspectSecure));
  EXPECT_TRUE(authority_exists());
  const std::string pem = test::read_file(target);
  EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----", 0), 0u) << pem;
  EXPECT_EQ(pem.find("PRIVATE KEY"), std::string::npos);
}

}  // namespace
}  // namespace kw
