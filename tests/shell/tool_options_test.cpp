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
// stands for the scratch directory, "P/" for the program directory.
Outcome run(const test::ScratchDir& dir, const std::string& program, std::string args) {
  for (const auto& [mark, path] : {std::pair<std::string, std::string>{"D/", dir.path() + "/"},
                                   {"P/", std::string(program_directory())}}) {
    for (size_t at; (at = args.find(mark)) != std::string::npos;) {
      args.replace(at, 2, "'" + path + "'");
    }
  }
  const std::string out = dir.file("out"), err = dir.file("err");
  const std::string command = "'" + std::string(program_directory()) + program + "' " + args +
                              " >'" + out + "' 2>'" + err + "' </dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::read_file(out),
          test::read_file(err)};
}

TEST(ToolOptions, KwmatchAndKestrelwickdCheck) {
  test::ScratchDir dir;
  test::write_file(dir.file("page"), "<b>abc</b>");
  test::write_file(dir.file("bad.cfg"), "[Global]\nPort = 70000\n");
  const struct Row {
    const char* program;
    const char* args;
    int status;
    const char* out;  // a part of standard output
    const char* err;  // a part of standard error
  } rows[] = {
      {"kwmatch", "-h", 0, "usage: kwmatch", ""},
      {"kwmatch", "--help", 0, "-h, --help", ""},
      {"kwmatch", "b D/page", 0, "/page:1:1: b\n", ""},
      {"kwmatch", "--limit 4 --bounds '<b>' '<*>' D/page", 0, "/page:0:3: <b>\n", ""},
      {"kwmatch", "'<b>\\1<' D/page", 0, "/page:0:7: <b>abc<\n    \\1=abc\n", ""},
      {"kwmatch", "--limit 40000 b D/page", 2, "",
       "kwmatch: --limit takes a number from 1 to 32767, not \"40000\"\n"},
      {"kwmatch", "--limit abc b D/page", 2, "", "--limit takes a number from 1 to 32767, not"},
      {"kwmatch", "--limit 0 b D/page", 2, "", "--limit takes a number from 1 to 32767, not \"0\""},
      {"kwmatch", "--limit", 2, "", "kwmatch: --limit needs a value\nusage: kwmatch"},
      {"kwmatch", "--frob b D/page", 2, "", "kwmatch: unknown option --frob\nusage: kwmatch"},
      {"kwmatch", "'(b' D/page", 2, "", "the expression does not compile"},
      {"kwmatch", "b D/nosuch", 2, "", "/nosuch: No such file or directory\n"},
      {"kwmatch", "b D/", 2, "", "/: Is a directory\n"},
      {"kwmatch", "xyz D/page", 1, "", ""},
      // --check loads nothing and answers in its status.
      {"kestrelwickd", "--check P/default.cfg", 0, "default.cfg: no findings\n", ""},
      {"kestrelwickd", "--check D/bad.cfg", 1,
       "/bad.cfg:2: Port: 70000 is out of range (0 to 65535)\n", ""},
      {"kestrelwickd", "--check D/nosuch.cfg", 2, "", ""},
  };
  for (const Row& r : rows) {
    const Outcome result = run(dir, r.program, r.args);
    EXPECT_EQ(result.status, r.status) << r.args << "\n" << result.err;
    EXPECT_NE(result.out.find(r.out), std::string::npos) << r.args << "\n" << result.out;
    EXPECT_NE(result.err.find(r.err), std::string::npos) << r.args << "\n" << result.err;
  }
}

}  // namespace
}  // namespace kw
