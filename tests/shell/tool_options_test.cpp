// The command lines of kwmatch, and kestrelwickd --check, run as programs: what each prints on
// which stream and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "platform/program_directory.h"
#include "support/child_record.h"
#include "support/files.h"

namespace kw {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

// Runs a program beside the test with a shell command line after it; "D/" in the arguments
// stands for the scratch directory.
Outcome run(const test::ScratchDir& dir, const std::string& program, std::string args) {
  for (size_t at; (at = args.find("D/")) != std::string::npos;) {
    args.replace(at, 2, "'" + dir.path() + "'/");
  }
  const std::string out = dir.file("out"), err = dir.file("err");
  const std::string command = "'" + std::string(program_directory()) + program + "' " + args +
                              " >'" + out + "' 2>'" + err + "' </dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::read_file(out),
          test::read_file(err)};
}

TEST(ToolOptions, KwmatchOptionsAndFiles) {
  test::ScratchDir dir;
  test::write_file(dir.file("page"), "<b>abc</b>");
  const struct Row {
    const char* args;
    int status;
    const char* out;  // a part of standard output
    const char* err;  // a part of standard error
  } rows[] = {
      {"-h", 0, "usage: kwmatch", ""},
      {"--help", 0, "-h, --help", ""},
      {"b D/page", 0, "/page:1:1: b\n", ""},
      {"--limit 4 --bounds '<b>' '<*>' D/page", 0, "/page:0:3: <b>\n", ""},
      {"'<b>\\1<' D/page", 0, "/page:0:7: <b>abc<\n    \\1=abc\n", ""},
      {"--limit 40000 b D/page", 2, "", "kwmatch: --limit takes a number from 1 to 32767, not "
                                        "\"40000\"\n"},
      {"--limit abc b D/page", 2, "", "--limit takes a number from 1 to 32767, not \"abc\""},
      {"--limit 0 b D/page", 2, "", "--limit takes a number from 1 to 32767, not \"0\""},
      {"--limit", 2, "", "kwmatch: --limit needs a value\nusage: kwmatch"},
      {"--frob b D/page", 2, "", "kwmatch: unknown option --frob\nusage: kwmatch"},
      {"'(b' D/page", 2, "", "the expression does not compile"},
      {"b D/nosuch", 2, "", "/nosuch: No such file or directory\n"},
      {"b D/", 2, "", "/: Is a directory\n"},
      {"xyz D/page", 1, "", ""},
  };
  for (const Row& r : rows) {
    const Outcome result = run(dir, "kwmatch", r.args);
    EXPECT_EQ(result.status, r.status) << r.args << "\n" << result.err;
    EXPECT_NE(result.out.find(r.out), std::string::npos) << r.args << "\n" << result.out;
    EXPECT_NE(result.err.find(r.err), std::string::npos) << r.args << "\n" << result.err;
  }
}

TEST(ToolOptions, KestrelwickdCheckLoadsNothingAndAnswersInItsStatus) {
  test::ScratchDir dir;
  test::write_file(dir.file("bad.cfg"), "[Global]\nPort = 70000\n");
  const Outcome shipped = run(dir, "kestrelwickd", "--check '" + std::string(program_directory()) +
                                                   "default.cfg'");
  EXPECT_EQ(shipped.status, 0) << shipped.out;
  EXPECT_NE(shipped.out.find("default.cfg: no findings\n"), std::string::npos) << shipped.out;
  const Outcome bad = run(dir, "kestrelwickd", "--check D/bad.cfg");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("/bad.cfg:2: Port: 70000 is out of range (0 to 65535)\n"),
            std::string::npos)
      << bad.out;
  EXPECT_EQ(run(dir, "kestrelwickd", "--check D/nosuch.cfg").status, 2);
}

}  // namespace
}  // namespace kw
