// The main window's logic without a window: every row of the command table, the control states
// a flag word gives, and the start-up rule for the command line. Running the commands is tested
// through the window.
#include "shell/main_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "base/settings.h"

namespace kw {
namespace {

struct RowCase {
  int id;
  MainAction action;
  uint32_t flag;
  bool marks_changed;
};

// The command table as designed, row by row, plus ids it does not name.
const RowCase kRows[] = {
    {1001, MainAction::ToggleFlag, FilterHTML, false},
    {1002, MainAction::ToggleFlag, FilterHeadersOut, false},
    {1003, MainAction::ToggleFlag, FilterHeadersIn, false},
    {1004, MainAction::ToggleFlag, FreezeGIF, false},
    {1005, MainAction::ToggleFlag, EnableProxy, true},
    {1007, MainAction::Bypass, 0, false},
    {1008, MainAction::Abort, 0, false},
    {1013, MainAction::OpenLogWindow, 0, false},
    {1014, MainAction::OpenWebFilterList, 0, false},
    {1015, MainAction::OpenHeaderFilterList, 0, false},
    {1016, MainAction::OpenPreferences, 0, false},
    {1017, MainAction::OpenProxySelector, 0, false},
    {40001, MainAction::LoadConfigDialog, 0, false},
    {40002, MainAction::SaveConfigDialog, 0, false},
    {40003, MainAction::Exit, 0, false},
    {40004, MainAction::SaveDefaultConfig, 0, false},
    {40005, MainAction::About, 0, false},
    {40006, MainAction::ReloadDefaultConfig, 0, false},
    {40016, MainAction::SaveLastConfig, 0, false},
    {40017, MainAction::ReloadLastConfig, 0, false},
    {40021, MainAction::LaunchAutoRun, 0, false},
    {40025, MainAction::Help, 0, false},
    // Any other id: Escape's cancel command, Enter's OK, the spacer.
    {2, MainAction::None, 0, true},
    {1, MainAction::None, 0, true},
    {40022, MainAction::None, 0, true},
};

TEST(MainCommandTableTest, EachIdHasItsActionAndChangeMark) {
  for (const RowCase& c : kRows) {
    SCOPED_TRACE("id " + std::to_string(c.id));
    const MainCommandRow row = main_command_row(c.id);
    EXPECT_EQ(row.action, c.action);
    EXPECT_EQ(row.flag, c.flag);
    EXPECT_EQ(row.marks_changed, c.marks_changed);
  }
}

// Escape's command (2) marks the configuration changed (row above), which enables Save Last
// Config.
TEST(MainControlStatesTest, TheChangeMarkEnablesSaveLastConfig) {
  EXPECT_FALSE(main_control_states(kLoadDefaultFlags, false).save_last_enabled);
  EXPECT_TRUE(main_control_states(kLoadDefaultFlags | Changed, false).save_last_enabled);
}

TEST(MainControlStatesTest, BypassDisablesTheFourFiltersButNotTheProxy) {
  const MainControlStates bypassed = main_control_states(kLoadDefaultFlags & ~Enable, true);
  EXPECT_FALSE(bypassed.filters_enabled);
  EXPECT_TRUE(bypassed.bypass_pressed);
  // The check marks still show the flags.
  for (bool checked : bypassed.checked) EXPECT_TRUE(checked);

  const MainControlStates filtering = main_control_states(kLoadDefaultFlags, true);
  EXPECT_TRUE(filtering.filters_enabled);
  EXPECT_FALSE(filtering.bypass_pressed);
}

TEST(MainControlStatesTest, LaunchAutoRunIsGreyedWithoutACommandLine) {
  EXPECT_FALSE(main_control_states(kLoadDefaultFlags | EnableAutoRun, false).launch_enabled);
  EXPECT_TRUE(main_control_states(kLoadDefaultFlags, true).launch_enabled);
}

struct CommandLineCase {
  const char* line;
  const char* config;    // expected configuration file, "" for the default
  const char* argument;  // expected auto-run argument, nullptr for none
};

const CommandLineCase kCommandLines[] = {
    {"", "", nullptr},
    {"work.cfg", "work.cfg", nullptr},
    {"/home/me/WORK.CFG", "/home/me/WORK.CFG", nullptr},
    {"my settings.Cfg", "my settings.Cfg", nullptr},
    // The whole text counts: a quoted name ends in a quote and goes to the auto-run program.
    {"\"work.cfg\"", "", "\"work.cfg\""},
    {"index.html", "", "index.html"},
    {"http://127.0.0.1/page.cfg.html", "", "http://127.0.0.1/page.cfg.html"},
    {"cfg", "", "cfg"},
    {".cfg", ".cfg", nullptr},
    {"notes.cfgx", "", "notes.cfgx"},
    {"archive.cfg.bak", "", "archive.cfg.bak"},
};

TEST(CommandLineRuleTest, CfgNamesAreLoadedAndEverythingElseGoesToAutoRun) {
  for (const CommandLineCase& c : kCommandLines) {
    SCOPED_TRACE(c.line);
    const StartupArgument argument = classify_command_line(c.line);
    EXPECT_EQ(argument.config_file, c.config);
    EXPECT_EQ(argument.has_auto_run_argument, c.argument != nullptr);
    EXPECT_EQ(argument.auto_run_argument, c.argument ? c.argument : "");
  }
}

}  // namespace
}  // namespace kw
