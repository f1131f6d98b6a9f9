// Command lines must split the way a user quotes them, and a started program must inherit
// nothing of this process but its environment, directory and standard descriptors.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "support/child_record.h"

namespace kw {
namespace {

using test::read_child_runs;
using test::wait_until;

TEST(SplitCommandLine, QuotesGroupAndAreDropped) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) EXPECT_EQ(split_command_line(c.line), c.words) << c.line;
}

class ChildProcessTest : public ::testing::Test {
 protected:
  std::vector<std::string> child_words(std::vector<std::string> extra = {}) {
    std::vector<std::string> words = {test::test_child_path(), record_};
    words.insert(words.end(), extra.begin(), extra.end());
    return words;
  }

  test::ScratchDir dir_;
  std::string record_ = dir_.file("record");
};

TEST_F(ChildProcessTest, InheritsNoDescriptorsAndDefaultSignals) {
  // A descriptor without close-on-exec, as a careless library might leave one, and the
  // ignored SIGPIPE of the proxy: neither may reach the started program.
  int leaked[2];
  ASSERT_EQ(::pipe(leaked), 0);
  auto old_pipe = std::signal(SIGPIPE, SIG_IGN);

  ChildProcess child;
  ASSERT_EQ(ChildProcess::spawn(child_words({"two words"}), &child), 1);
  ASSERT_TRUE(wait_until([&] { return read_child_runs(record_).size() == 1; }));
  test::ChildRun run = read_child_runs(record_)[0];
  EXPECT_EQ(run.pid, child.pid());
  EXPECT_EQ(run.extra_fds, 0);
  EXPECT_TRUE(run.sigpipe_default);
  EXPECT_EQ(run.args, std::vector<std::string>{"two words"});

  EXPECT_EQ(child.terminate(), 1);
  EXPECT_TRUE(wait_until([&] { return !child.running(); }));
  std::signal(SIGPIPE, old_pipe);
  ::close(leaked[0]);
  ::close(leaked[1]);
}

TEST_F(ChildProcessTest, EndedProcessIsReapedAndNeverSignalled) {
  ChildProcess child;
  ASSERT_EQ(ChildProcess::spawn(child_words({"--exit"}), &child), 1);
  EXPECT_TRUE(wait_until([&] { return !child.running(); }));
  EXPECT_EQ(child.pid(), 0);
  EXPECT_EQ(child.terminate(), 0);
}

}  // namespace
}  // namespace kw
