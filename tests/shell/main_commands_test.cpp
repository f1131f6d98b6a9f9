// The main window's logic without a window: the control states a flag word gives and the
// start-up rule for the command line. Running the commands is tested through the window.
#include "shell/main_commands.h"

#include <gtest/gtest.h>

#include "base/settings.h"

namespace kw {
namespace {

TEST(MainControlStatesTest, ChangeMarkBypassAndAutoRunDriveTheControls) {
  EXPECT_FALSE(main_control_states(kLoadDefaultFlags, false).save_last_enabled);
  EXPECT_TRUE(main_control_states(kLoadDefaultFlags | Changed, false).save_last_enabled);
  // Escape's command (any id the table does not name) marks the configuration changed.
  EXPECT_TRUE(main_command_row(2).marks_changed);

  // Bypass greys the four filters but not the proxy; the check marks still show the flags.
  const MainControlStates bypassed = main_control_states(kLoadDefaultFlags & ~Enable, true);
  EXPECT_FALSE(bypassed.filters_enabled);
  EXPECT_TRUE(bypassed.bypass_pressed);
  for (bool checked : bypassed.checked) EXPECT_TRUE(checked);
  const MainControlStates filtering = main_control_states(kLoadDefaultFlags, true);
  EXPECT_TRUE(filtering.filters_enabled);
  EXPECT_FALSE(filtering.bypass_pressed);

  EXPECT_FALSE(main_control_states(kLoadDefaultFlags | EnableAutoRun, false).launch_enabled);
  EXPECT_TRUE(main_control_states(kLoadDefaultFlags, true).launch_enabled);
}

TEST(CommandLineRuleTest, CfgNamesAreLoadedAndEverythingElseGoesToAutoRun) {
  struct Case {
    const char* line;
    const char* config;    // "" for the default
    const char* argument;  // nullptr for none
  };
  const Case cases[] = {
      {"", "", nullptr},
      {"/home/me/WORK.CFG", "/home/me/WORK.CFG", nullptr},
      {"my settings.Cfg", "my settings.Cfg", nullptr},
      {".cfg", ".cfg", nullptr},
      // The whole text counts: a quoted name ends in a quote and goes to the auto-run program.
      {"\"work.cfg\"", "", "\"work.cfg\""},
      {"http://127.0.0.1/page.cfg.html", "", "http://127.0.0.1/page.cfg.html"},
      {"cfg", "", "cfg"},
      {"archive.cfg.bak", "", "archive.cfg.bak"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const StartupArgument argument = classify_command_line(c.line);
    EXPECT_EQ(argument.config_file, c.config);
    EXPECT_EQ(argument.has_auto_run_argument, c.argument != nullptr);
    EXPECT_EQ(argument.auto_run_argument, c.argument ? c.argument : "");
  }
}

}  // namespace
}  // namespace kw
