// The preferences' rules without their dialog: which port a field gives, what the program field
// becomes as a command line, and what storing the fields and choosing textures changes.
#include "base/preferences.h"

#include <gtest/gtest.h>

#include <string>


namespace kw {
namespace {

// The settings as at process start before and after each test.
class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    settings_set_flags(0);
    settings().port.store(0);
    settings().auto_run.clear();
    for (std::string& path : settings().texture_paths) path.clear();
  }
};

TEST(PreferencesRulesTest, PortFieldReadings) {
  const struct {
    const char* field;
    int port;
  } rows[] = {
      {"", kDefaultPort},   {"0", kDefaultPort},        {"abc", kDefaultPort},
      {"  3128", 3128},     {"8081x", 8081},            {"1", 1},
      {"65535", 65535},     {"65536", kPortOutOfRange}, {"70000", kPortOutOfRange},
      // Far beyond any integer: refused, never wrapped round into range.
      {"4294967297", kPortOutOfRange},
      {"000000000000000000000080", 80},
  };
  for (const auto& row : rows) EXPECT_EQ(read_listener_port(row.field), row.port) << row.field;
}

TEST(PreferencesRulesTest, ProgramFieldAsCommandLine) {
  const std::string long_field = "/bin/" + std::string(kProgramFieldLimit, 'x');
  const struct {
    std::string field;
    std::string command_line;
  } rows[] = {
      {"  \t/usr/bin/browser --new", "/usr/bin/browser --new"},
      {"   ", ""},
      // A name that starts with a byte from 0x80 up keeps it.
      {" \xc3\xa9" "diteur", "\xc3\xa9" "diteur"},
      {long_field, long_field.substr(0, kProgramFieldLimit)},
  };
  for (const auto& row : rows) EXPECT_EQ(command_line_from_field(row.field), row.command_line);
  EXPECT_EQ(program_field_for("/usr/bin/browser"), "/usr/bin/browser");
  EXPECT_EQ(program_field_for("/opt/My Browser/run"), "\"/opt/My Browser/run\"");
}

TEST_F(PreferencesTest, StoringSetsTheSwitchesPortAndChangedAndKeepsTheRest) {
  settings_set_flags(kLoadDefaultFlags | NoTextures);
  settings().port.store(8080);
  settings().auto_run = "/usr/bin/browser";

  PreferenceFields fields = preference_fields();
  EXPECT_EQ(fields.port, "8080");
  EXPECT_TRUE(fields.no_textures);
  EXPECT_EQ(fields.program, "/usr/bin/browser");

  fields.port = "3128";
  fields.no_textures = false;
  fields.always_use = true;
  fields.run_at_startup = true;
  fields.program = "/usr/bin/other";  // not marked modified: the command line stays
  EXPECT_EQ(store_preferences(fields), 1);
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags | ForceTextures | EnableAutoRun | Changed);
  EXPECT_EQ(settings_port(), 3128);
  EXPECT_EQ(settings().auto_run, "/usr/bin/browser");

  fields.program = " ";
  fields.program_modified = true;
  EXPECT_EQ(store_preferences(fields), 1);
  EXPECT_EQ(settings().auto_run, "");

  // A port no listener can use stores nothing at all.
  settings_set_flags(kLoadDefaultFlags);
  fields.port = "99999";
  fields.program = "/usr/bin/third";
  EXPECT_EQ(store_preferences(fields), 0);
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
  EXPECT_EQ(settings_port(), 3128);
  EXPECT_EQ(settings().auto_run, "");
}

TEST_F(PreferencesTest, TextureChoices) {
  EXPECT_EQ(texture_dialog_start(kFace2Texture), "[none]");
  EXPECT_EQ(apply_texture_choice(kFace2Texture, TextureChoice::Kept, "/t/kept.bmp"), 0);
  EXPECT_EQ(settings_flags() & Changed, 0u);
  EXPECT_EQ(apply_texture_choice(kFace2Texture, TextureChoice::File, "/t/face2.bmp"), 1);
  EXPECT_EQ(texture_dialog_start(kFace2Texture), "/t/face2.bmp");
  EXPECT_TRUE(settings_flags() & Changed);
  EXPECT_EQ(apply_texture_choice(kFace2Texture, TextureChoice::Builtin, "[none]"), 1);
  EXPECT_EQ(settings().texture_paths[kFace2Texture], "");
}

}  // namespace
}  // namespace kw
