// "Preference Settings" driven by ids as the user drives it: "Run program at startup" following
// the program field, the texture switches excluding each other, "&OK" storing the port (an
// empty field gives 8080, one no listener can use is refused), texture choices taking effect at
// once and surviving "&Cancel", and each texture field previewing its own texture.
#include "dialogs/preferences_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "base/settings.h"
#include "dialogs/message_dialogs.h"
#include "skin/builtin_art.h"
#include "dialogs/file_dialog.h"
#include "skin/textures.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/ui_driver.h"

namespace kw {
namespace {

class PreferencesDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_flags_ = settings_flags();
    saved_port_ = settings_port();
    saved_auto_run_ = settings().auto_run;
    for (int i = 0; i < kTextureCount; ++i) saved_paths_[i] = settings().texture_paths[i];
    settings_set_flags(kLoadDefaultFlags);
    settings().port.store(8080);
    settings().auto_run.clear();
    for (std::string& path : settings().texture_paths) path.clear();
    load_textures();
  }

  void TearDown() override {
    set_dialog_observer(nullptr);
    settings_set_flags(saved_flags_);
    settings().port.store(saved_port_);
    settings().auto_run = saved_auto_run_;
    for (int i = 0; i < kTextureCount; ++i) settings().texture_paths[i] = saved_paths_[i];
    load_textures();
  }

  // Opens the dialog and runs the action in it; the action ends it.
  static void run(std::function<void(Dialog&)> action) {
    test::when_shown(std::move(action));
    EXPECT_EQ(open_preferences(nullptr), 1);
  }

  std::string bitmap_file(const char* name, QColor colour) {
    QImage image(128, 128, QImage::Format_RGB32);
    image.fill(colour);
    const std::string path = dir_.file(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    return path;
  }

  test::ScratchDir dir_;
  uint32_t saved_flags_ = 0;
  int saved_port_ = 0;
  std::string saved_auto_run_;
  std::string saved_paths_[kTextureCount];
};

// A pixel near the top-left corner of the control's client area, where its texture starts.
QRgb preview_pixel(Dialog& d, int id) {
  QWidget* w = d.control_widget(id);
  return test::grab(w).pixel(w->contentsRect().topLeft() + QPoint(2, 2));
}

TEST_F(PreferencesDialogTest, RunAtStartupIsEnabledExactlyWhileThereIsAProgram) {
  const struct {
    const char* auto_run;
    uint32_t flags;
    bool checked, enabled;
  } rows[] = {
      {"", EnableAutoRun, true, false},  // the flag alone cannot start anything
      {"", 0, false, false},
      {"/usr/bin/browser", EnableAutoRun, true, true},
      {"/usr/bin/browser", 0, false, true},
  };
  for (const auto& row : rows) {
    settings().auto_run = row.auto_run;
    settings_set_flags(kLoadDefaultFlags | row.flags);
    std::vector<bool> enabled_after;
    run([&](Dialog& d) {
      EXPECT_EQ(d.template_id(), 131);
      EXPECT_EQ(d.title(), "Preference Settings");
      EXPECT_EQ(d.is_checked(kPrefsRunAtStartupCheck), row.checked) << row.auto_run;
      EXPECT_EQ(d.is_enabled(kPrefsRunAtStartupCheck), row.enabled) << row.auto_run;
      test::type_into(d, kPrefsProgramField, "x");
      enabled_after.push_back(d.is_enabled(kPrefsRunAtStartupCheck));
      test::key(d, kPrefsProgramField, 'A', kKeyCtrl);
      test::key(d, kPrefsProgramField, kVkDelete);
      enabled_after.push_back(d.is_enabled(kPrefsRunAtStartupCheck));
      test::press(d, kIdCancel);
    });
    EXPECT_EQ(enabled_after, (std::vector<bool>{true, false})) << row.auto_run;
    EXPECT_EQ(settings().auto_run, row.auto_run);
  }
}

TEST_F(PreferencesDialogTest, TheLabelOfRunAtStartupTogglesItsBox) {
  settings().auto_run = "/usr/bin/browser";
  bool toggled = false;
  run([&](Dialog& d) {
    const QPoint label = d.units().rect(102, 28, 73, 8).center();
    QWidget* under = d.client_area()->childAt(label);
    ASSERT_EQ(under, d.control_widget(kPrefsRunAtStartupCheck));
    QTest::mouseClick(under, Qt::LeftButton, Qt::NoModifier, under->mapFrom(d.client_area(), label));
    toggled = d.is_checked(kPrefsRunAtStartupCheck);
    test::press(d, kIdCancel);
  });
  EXPECT_TRUE(toggled);
}

TEST_F(PreferencesDialogTest, NoTexturesAndAlwaysUseExcludeEachOther) {
  run([](Dialog& d) {
    test::press(d, kPrefsNoTexturesCheck);
    EXPECT_TRUE(d.is_checked(kPrefsNoTexturesCheck));
    test::press(d, kPrefsAlwaysUseCheck);
    EXPECT_TRUE(d.is_checked(kPrefsAlwaysUseCheck));
    EXPECT_FALSE(d.is_checked(kPrefsNoTexturesCheck));
    test::press(d, kPrefsAlwaysUseCheck);  // both may be clear
    EXPECT_FALSE(d.is_checked(kPrefsAlwaysUseCheck));
    test::press(d, kPrefsAlwaysUseCheck);
    test::press(d, kIdOk);
  });
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags | ForceTextures | Changed);
}

TEST_F(PreferencesDialogTest, OkStoresThePortAndTheCommandLine) {
  const struct {
    const char* typed;  // into the emptied port field
    int port;
  } rows[] = {{"", 8080}, {"0", 8080}, {"ab", 8080}, {"3128", 3128}};
  for (const auto& row : rows) {
    settings_set_flags(kLoadDefaultFlags);
    settings().port.store(1234);
    settings().auto_run.clear();
    run([&](Dialog& d) {
      EXPECT_EQ(d.text(kPrefsPortField), "1234");
      d.set_text(kPrefsPortField, "");
      test::type_into(d, kPrefsPortField, row.typed);
      test::type_into(d, kPrefsProgramField, "  /usr/bin/browser");
      test::press(d, kPrefsRunAtStartupCheck);
      test::press(d, kIdOk);
    });
    EXPECT_EQ(settings_port(), row.port) << row.typed;
    EXPECT_EQ(settings().auto_run, "/usr/bin/browser");
    EXPECT_EQ(settings_flags(), kLoadDefaultFlags | EnableAutoRun | Changed);
  }
}

TEST_F(PreferencesDialogTest, APortNoListenerCanUseIsRefusedAndKeptForMending) {
  std::string message;
  bool open_after = false;
  std::string field_after;
  run([&](Dialog& d) {
    d.set_text(kPrefsPortField, "");
    test::type_into(d, kPrefsPortField, "70000");
    test::when_shown([&](Dialog& box) {
      message = box.text(kMessageText);
      test::press(box, kMessageOk);
    });
    test::press(d, kIdOk);
    open_after = d.is_running();
    field_after = d.text(kPrefsPortField);
    EXPECT_EQ(d.focused_id(), kPrefsPortField);
    test::key(d, kPrefsPortField, kVkBack);
    test::press(d, kIdOk);  // 7000
  });
  EXPECT_EQ(message, "The Listener Port must be a number from 1 to 65535.");
  EXPECT_TRUE(open_after);
  EXPECT_EQ(field_after, "70000");
  EXPECT_EQ(settings_port(), 7000);
}

TEST_F(PreferencesDialogTest, FindPutsThePickedProgramIntoTheField) {
  const std::string program = dir_.file("my browser");
  test::write_file(program, "#!/bin/sh\n");
  QFile::setPermissions(QString::fromStdString(program), QFile::ReadOwner | QFile::ExeOwner);
  QString title;
  QDir::Filters filter;
  run([&](Dialog& d) {
    QTimer::singleShot(0, [&] {
      auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(files, nullptr);
      title = files->windowTitle();
      filter = files->filter();
      files->selectFile(QString::fromStdString(program));
      static_cast<QDialog*>(files)->accept();
    });
    test::press(d, kPrefsFindButton);
    EXPECT_TRUE(d.is_enabled(kPrefsRunAtStartupCheck));
    test::press(d, kIdOk);
  });
  EXPECT_EQ(title, "Choose a program to run automatically");
  EXPECT_TRUE(filter & QDir::Executable);
  // Quoted, so that the blank does not split it into two words.
  EXPECT_EQ(settings().auto_run, "\"" + program + "\"");
}

TEST_F(PreferencesDialogTest, TextureChoicesTakeEffectAtOnceAndSurviveCancel) {
  const std::string black = bitmap_file("black.bmp", Qt::black);
  settings().texture_paths[kFace2Texture] = black;
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
  std::string started_with;
  run([&](Dialog& d) {
    EXPECT_EQ(QColor(preview_pixel(d, kPrefsFace2Field)), QColor(Qt::black));
    next_file_dialog([&](Dialog& strip, QFileDialog& files) {
      EXPECT_EQ(files.windowTitle(), "Load a new texture bitmap");
      EXPECT_EQ(files.nameFilters(), QStringList{"Bitmap Files (*.bmp)"});
      test::press(strip, kDefaultBitmapButton);
    });
    test::press(d, kPrefsFace2Field);
    EXPECT_EQ(settings().texture_paths[kFace2Texture], "");
    EXPECT_EQ(texture(kFace2Texture).toImage(), builtin);
    EXPECT_EQ(preview_pixel(d, kPrefsFace2Field), builtin.pixel(2, 2));

    next_file_dialog([&](Dialog&, QFileDialog& files) {
      files.selectFile(QString::fromStdString(white));
      static_cast<QDialog&>(files).accept();
    });
    test::press(d, kPrefsFace2Field);
    EXPECT_EQ(QColor(preview_pixel(d, kPrefsFace2Field)), QColor(Qt::white));

    next_file_dialog([&](Dialog&, QFileDialog& files) { files.reject(); });
    test::press(d, kPrefsFace2Field);
    EXPECT_EQ(settings().texture_paths[kFace2Texture], white);

    next_file_dialog([&](Dialog&, QFileDialog& files) {
      started_with = files.selectedFiles().value(0).toStdString();
      files.reject();
    });
    test::press(d, kPrefsButtonsButton);
    test::press(d, kIdCancel);
  });
  EXPECT_EQ(settings().texture_paths[kFace2Texture], white);
  EXPECT_TRUE(settings_flags() & Changed);
  EXPECT_EQ(settings_port(), 8080);
  EXPECT_NE(started_with.find("[none]"), std::string::npos);
}

TEST_F(PreferencesDialogTest, EachTextureFieldPreviewsItsTextureWithItsTextColour) {
  const struct {
    const char* face2;  // file colour, or none for the built-in bitmap
    uint32_t flags;
    QColor preview, text;
  } rows[] = {
      {"black", 0, Qt::black, Qt::white},
      {"white", 0, Qt::white, Qt::black},
      {nullptr, NoTextures, plain_substitute(kFace2Texture), QColor()},
  };
  for (const auto& row : rows) {
    settings_set_flags(kLoadDefaultFlags | row.flags);
    settings().texture_paths[kFace2Texture] =
        row.face2 ? bitmap_file((std::string(row.face2) + ".bmp").c_str(), QColor(row.face2)) : "";
    load_textures();
    run([&](Dialog& d) {
      EXPECT_EQ(QColor(preview_pixel(d, kPrefsFace2Field)), row.preview);
      QImage plain(4, 4, QImage::Format_RGB32);
      plain.fill(row.preview);
      EXPECT_EQ(d.proc().on_text_colour(d, kPrefsFace2Field),
                row.text.isValid() ? row.text : text_colour_for(plain));
      // The other fields keep their own textures.
      EXPECT_EQ(preview_pixel(d, kPrefsInsetField), texture(kInsetTexture).toImage().pixel(2, 2));
      test::press(d, kIdCancel);
    });
  }
}

}  // namespace
}  // namespace kw
