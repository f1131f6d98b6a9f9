// Command lines must split the way a user quotes them, and a started program must inherit
// nothing of this process but its environment, directory and standard descriptors.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "support/child_record.h"

namespace kw {
namespace {

using test::wait_until;

TEST(SplitCommandLine, QuotesGroupAndAreDropped) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"", {}},
      {" \t ", {}},
      {"browser", {"browser"}},
      {"  browser   -a\t-b  ", {"browser", "-a", "-b"}},
      {"\"/opt/my browser/run\" --page", {"/opt/my browser/run", "--page"}},
      {"a\"b c\"d e", {"ab cd", "e"}},
      {"run \"\" x", {"run", "", "x"}},
      {"run \"open to the end", {"run", "open to the end"}},
      {"run 'single quotes' stay", {"run", "'single", "quotes'", "stay"}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(split_command_line(line), words) << line;
}

// A descriptor without close-on-exec, as a careless library might leave one, and the ignored
// SIGPIPE of the proxy must not reach the started program; one that ended by itself is reaped
// and never signalled.
TEST(ChildProcess, InheritsNoDescriptorsOrIgnoredSignalsAndIsReaped) {
  test::ScratchDir dir;
  const std::string record = dir.file("record");
  int leaked[2];
  ASSERT_EQ(::pipe(leaked), 0);
  auto old_pipe = std::signal(SIGPIPE, SIG_IGN);
  ChildProcess child;
  ASSERT_EQ(ChildProcess::spawn({test::test_child_path(), record, "two words"}, &child), 1);
  std::signal(SIGPIPE, old_pipe);
  ::close(leaked[0]);
  ::close(leaked[1]);
  ASSERT_TRUE(wait_until([&] { return test::read_child_runs(record).size() == 1; }));
  const test::ChildRun run = test::read_child_runs(record)[0];
  EXPECT_EQ(run.pid, child.pid());
  EXPECT_EQ(run.extra_fds, 0);
  EXPECT_TRUE(run.sigpipe_default);
  EXPECT_EQ(run.args, std::vector<std::string>{"two words"});
  EXPECT_EQ(child.terminate(), 1);
  EXPECT_TRUE(wait_until([&] { return !child.running(); }));

  ChildProcess ended;
  ASSERT_EQ(ChildProcess::spawn({test::test_child_path(), record, "--exit"}, &ended), 1);
  EXPECT_TRUE(wait_until([&] { return !ended.running(); }));
  EXPECT_EQ(ended.pid(), 0);
  EXPECT_EQ(ended.terminate(), 0);
}

}  // namespace
}  // namespace kw
