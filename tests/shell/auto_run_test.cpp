// The start-up rule for the command line, and the launcher against a real program: the argument
// handed over once and whole, one copy at a time, a new copy once the old one has ended, and
// SIGTERM at shutdown to that copy only.
#include "shell/auto_run.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <tuple>

#include "base/settings.h"
#include "shell/main_commands.h"
#include "support/child_record.h"

namespace kw {
namespace {

using test::read_child_runs;
using test::wait_until;

TEST(CommandLineRuleTest, CfgNamesAreLoadedAndEverythingElseGoesToAutoRun) {
  const struct {
    const char* line;
    const char* config;    // "" for the default
    const char* argument;  // nullptr for none
  } cases[] = {
      {"", "", nullptr},
      {"/home/me/WORK.CFG", "/home/me/WORK.CFG", nullptr},
      {"my settings.Cfg", "my settings.Cfg", nullptr},
      {".cfg", ".cfg", nullptr},
      // The whole text counts: a quoted name ends in a quote and goes to the auto-run program.
      {"\"work.cfg\"", "", "\"work.cfg\""},
      {"http://127.0.0.1/page.cfg.html", "", "http://127.0.0.1/page.cfg.html"},
      {"cfg", "", "cfg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const StartupArgument argument = classify_command_line(c.line);
    EXPECT_EQ(argument.config_file, c.config);
    EXPECT_EQ(argument.has_auto_run_argument, c.argument != nullptr);
    EXPECT_EQ(argument.auto_run_argument, c.argument ? c.argument : "");
  }
}

class AutoRunTest : public ::testing::Test {
 protected:
  void SetUp() override { use_command(""); }

  void TearDown() override {
    // Whatever a test left running ends here, and is reaped.
    close_auto_run(record_);
    EXPECT_TRUE(wait_until([&] { return find_auto_run_window(record_) == 0; }));
    settings().auto_run.clear();
  }

  // The auto-run command line: the test child, quoted (the record file's folder has a blank),
  // followed by extra.
  void use_command(const std::string& extra) {
    settings().auto_run = "\"" + test::test_child_path() + "\" \"" + record_file_ + "\"";
    if (!extra.empty()) settings().auto_run += " " + extra;
  }

  size_t runs() { return read_child_runs(record_file_).size(); }

  test::ScratchDir dir_;
  std::string record_file_ = dir_.file("record");
  AutoRunRecord record_;
};

// A copy started some other way is never ended by the launcher.
TEST_F(AutoRunTest, OneCopyWhileItRunsANewOneAfterItEndsAndShutdownEndsOnlyThatOne) {
  ChildProcess other;
  ASSERT_EQ(ChildProcess::spawn({test::test_child_path(), record_file_}, &other), 1);
  ASSERT_TRUE(wait_until([&] { return runs() == 1; }));
  ASSERT_EQ(launch_auto_run(record_, false), kAutoRunLaunched);
  const pid_t first = find_auto_run_window(record_);
  ASSERT_NE(first, 0);
  ASSERT_TRUE(wait_until([&] { return runs() == 2; }));

  // Still running: counts as launched, nothing new starts, a waiting argument is used up.
  hold_auto_run_argument(record_, "late.html");
  EXPECT_EQ(launch_auto_run(record_, false), kAutoRunLaunched);
  EXPECT_EQ(find_auto_run_window(record_), first);
  EXPECT_FALSE(record_.argument_waiting);

  // The user closes it; the next launch starts a new copy, without the used-up argument.
  ASSERT_EQ(::kill(first, SIGTERM), 0);
  ASSERT_TRUE(wait_until([&] { return find_auto_run_window(record_) == 0; }));
  EXPECT_EQ(launch_auto_run(record_, false), kAutoRunLaunched);
  const pid_t second = find_auto_run_window(record_);
  EXPECT_NE(second, 0);
  EXPECT_NE(second, first);
  ASSERT_TRUE(wait_until([&] { return runs() == 3; }));
  const std::vector<test::ChildRun> seen = read_child_runs(record_file_);
  EXPECT_EQ(seen[2].pid, second);
  EXPECT_TRUE(seen[2].args.empty());

  close_auto_run(record_);
  ASSERT_TRUE(wait_until([&] { return find_auto_run_window(record_) == 0; }));
  EXPECT_EQ(test::read_child_terminations(record_file_), (std::vector<int>{first, second}));
  EXPECT_TRUE(other.running());
  other.terminate();
  EXPECT_TRUE(wait_until([&] { return !other.running(); }));
}

// No command line, Ctrl held, blanks only or a program that cannot start: nothing runs,
// silently; only the first two leave a waiting argument for the next launch. The argument is
// handed over once and whole, as one word however many blanks and quotes it holds.
TEST_F(AutoRunTest, WhatStartsAndWhatTheCommandAndArgumentMayHold) {
  const std::tuple<std::string, bool, bool> rows[] = {
      {"", false, true},
      {settings().auto_run, true, true},
      {"   ", false, false},
      {"\"" + dir_.file("no such browser") + "\" -x", false, false}};
  for (const auto& [command, ctrl_held, keeps_argument] : rows) {
    SCOPED_TRACE(command);
    settings().auto_run = command;
    hold_auto_run_argument(record_, "page.html");
    EXPECT_EQ(launch_auto_run(record_, ctrl_held), kAutoRunNotLaunched);
    EXPECT_EQ(find_auto_run_window(record_), 0);
    EXPECT_EQ(record_.argument_waiting, keeps_argument);
  }

  // The command plus a blank, two quotes and the argument: exactly 255 starts, 256 does not.
  use_command("--exit");
  const size_t fixed = settings().auto_run.size() + 3;
  ASSERT_LT(fixed, kAutoRunCommandMax);
  hold_auto_run_argument(record_, std::string(kAutoRunCommandMax - fixed + 1, 'x'));
  EXPECT_EQ(launch_auto_run(record_, false), kAutoRunNotLaunched);
  EXPECT_FALSE(record_.argument_waiting) << "an argument is handed over at most once";
  std::string fits = "http://127.0.0.1/a \"quoted\" page.html";
  fits.resize(kAutoRunCommandMax - fixed, 'y');
  hold_auto_run_argument(record_, fits);
  EXPECT_EQ(launch_auto_run(record_, false), kAutoRunLaunched);
  EXPECT_FALSE(record_.argument_waiting);
  ASSERT_TRUE(wait_until([&] { return runs() == 1; }));
  EXPECT_EQ(read_child_runs(record_file_)[0].args, (std::vector<std::string>{"--exit", fits}));
}

}  // namespace
}  // namespace kw
