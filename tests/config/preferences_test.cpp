// The preferences' rules without their dialog: which port a field gives, what the program field
// becomes as a command line, and what storing the fields leaves alone.
#include "base/preferences.h"

#include <gtest/gtest.h>

#include <string>

namespace kw {
namespace {

TEST(PreferencesRulesTest, PortAndProgramFields) {
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

  const std::string long_field = "/bin/" + std::string(kProgramFieldLimit, 'x');
  const struct {
    std::string field;
    std::string command_line;
  } programs[] = {
      {"  \t/usr/bin/browser --new", "/usr/bin/browser --new"},
      {"   ", ""},
      // A name that starts with a byte from 0x80 up keeps it.
      {" \xc3\xa9" "diteur", "\xc3\xa9" "diteur"},
      {long_field, long_field.substr(0, kProgramFieldLimit)},
  };
  for (const auto& row : programs) EXPECT_EQ(command_line_from_field(row.field), row.command_line);
  EXPECT_EQ(program_field_for("/usr/bin/browser"), "/usr/bin/browser");
  EXPECT_EQ(program_field_for("/opt/My Browser/run"), "\"/opt/My Browser/run\"");
}

// A port no listener can use stores nothing at all; the command line changes only when the user
// changed the field (the dialog's test stores a port).
TEST(PreferencesRulesTest, StoringKeepsWhatWasNotChanged) {
  settings_set_flags(kLoadDefaultFlags | NoTextures);
  settings().port.store(8080);
  settings().auto_run = "/usr/bin/browser";
  PreferenceFields fields = preference_fields();
  fields.no_textures = false;
  fields.program = "/usr/bin/other";
  fields.port = "99999";
  fields.program_modified = true;
  EXPECT_EQ(store_preferences(fields), 0);
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags | NoTextures);
  EXPECT_EQ(settings_port(), 8080);
  EXPECT_EQ(settings().auto_run, "/usr/bin/browser");

  fields.port = "3128";
  fields.program_modified = false;
  EXPECT_EQ(store_preferences(fields), 1);
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags | Changed);
  EXPECT_EQ(settings().auto_run, "/usr/bin/browser");
}

}  // namespace
}  // namespace kw
