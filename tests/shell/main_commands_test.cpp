// The start-up rule for the command line. The control states and running the commands are
// tested through the window.
#include "shell/main_commands.h"

#include <gtest/gtest.h>

namespace kw {
namespace {

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
