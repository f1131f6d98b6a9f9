// The configuration checker on a file holding one mistake of each kind, which is then loaded
// for the log lines of its filters that do not compile; files the writer wrote, which must
// check clean; and files that cannot be read.
#include "config/config_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config_state.h"
#include "support/child_record.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

// Five lines of the file to a line here; the comments give the number of the first.
constexpr char kMistakes[] =
    "## every kind of mistake\n[Global]\nEnabel = TRUE\nFilterHTML = TURE\nPort = 18341x\n"  // 1
    "just words\n# a comment\n[Global Settings]\nEnable = TRUE\n\n"                          // 6
    "[HTTP headers]\nOut = TRUE\nMatch = \"x\"\n\nOut = TRUE\n"                              // 11
    "Key = \"Cookie\"\nMatch = \"(abc\"\n\n[Patterns]\nName = \"Too long\"\n"                // 16
    "Limit = 40000\nMatch = \"a\"\n\nName = \"Broken\"\nURL = \"[abc\"\n"                    // 21
    "Match = \"(abc\"\n        \"def\"\nFrob = 1\n\nName = \"No match\"\n"                   // 26
    "Active = TRUE\n\n[Proxies]\n>proxy.example:8080\nother.example:80x\n";                  // 31

constexpr char kMistakesReport[] =
    "F:3: unknown key \"Enabel\" in [Global] (did you mean \"Enable\"?)\n"
    "F:4: FilterHTML: \"TURE\" is neither TRUE nor FALSE\n"
    "F:5: Port: \"18341x\" is not a whole number (0 to 65535)\n"
    "F:6: not a KEY = VALUE line\n"
    "F:8: unknown section [Global Settings]\n"
    "F:12: [HTTP headers] record without a Key line is left out\n"
    "F:17: [HTTP headers] \"Cookie\": the Match expression does not compile (Check for "
    "mis-matched [] or ())\n"
    "F:21: Limit: 40000 is out of range (0 to 32767)\n"
    "F:25: [Patterns] \"Broken\": the URL expression does not compile (Check for mis-matched [] "
    "or ())\n"
    "F:26: [Patterns] \"Broken\": the Match expression does not compile (Check for mis-matched "
    "[] or ())\n"
    "F:28: unknown key \"Frob\" in [Patterns]\n"
    "F:30: [Patterns] record \"No match\" without a Match line is left out\n"
    "F:35: \"other.example:80x\" is not a proxy entry (HOST:PORT, port 0 to 65535)\n"
    "F: 13 findings\n";

class ConfigCheck : public ::testing::Test {
 protected:
  void SetUp() override { test::reset_configuration(); }
  void TearDown() override { test::reset_configuration(); }

  // Runs the checker: its exit status; its standard output in out_ (the path written as "F")
  // and its standard error in err_.
  int check(const std::string& path) {
    const std::string out_path = dir_.file("out"), err_path = dir_.file("err");
    std::FILE* out_file = std::fopen(out_path.c_str(), "w");
    std::FILE* err_file = std::fopen(err_path.c_str(), "w");
    const int status = check_config(path.c_str(), out_file, err_file);
    std::fclose(out_file);
    std::fclose(err_file);
    out_ = test::read_file(out_path);
    err_ = test::read_file(err_path);
    for (size_t at; (at = out_.find(path)) != std::string::npos;)
      out_.replace(at, path.size(), "F");
    return status;
  }

  test::RecordingFrontend frontend_;
  test::ScratchDir dir_;
  std::string out_, err_;
};

// The checker loads nothing; a load of the same file goes on past the filters that do not
// compile and names each of them.
TEST_F(ConfigCheck, ReportsEachMistakeWithItsLineAndTheLoadNamesTheBrokenFilters) {
  const std::string path = dir_.file("mistakes.cfg");
  test::write_file(path, kMistakes);
  EXPECT_EQ(check(path), 1);
  EXPECT_EQ(out_, kMistakesReport);
  EXPECT_EQ(test::lists_text(), "");
  EXPECT_EQ(settings_port(), 0);

  ASSERT_EQ(load_config(path.c_str()), 1);
  const std::vector<std::string> expected = {
      "R[HTTP headers] \"Cookie\", line 17: the Match expression does not compile (Check for "
      "mis-matched [] or ()); the filter is off",
      "R[Patterns] \"Broken\", line 25: the URL expression does not compile (Check for "
      "mis-matched [] or ()); the filter is off",
      "R[Patterns] \"Broken\", line 26: the Match expression does not compile (Check for "
      "mis-matched [] or ()); the filter is off"};
  EXPECT_EQ(frontend_.lines(), expected);
  ASSERT_TRUE(web_filter_list && web_filter_list->next);
  EXPECT_EQ(web_filter_list->next->next, nullptr);
}

// The shipped file (which is in the writer's form) and every kind of record the writer writes
// check clean; files that cannot be read are named with the reason.
TEST_F(ConfigCheck, FilesTheWriterWroteCheckCleanAndUnreadableOnesAreNamed) {
  EXPECT_EQ(check(default_config_path()), 0) << out_;
  test::build_every_kind();
  const std::string path = dir_.file("written.cfg");
  test::write_file(path, config_file_text());
  EXPECT_EQ(check(path), 0) << out_;
  EXPECT_EQ(out_, "F: no findings\n");

  const std::pair<std::string, const char*> rows[] = {{dir_.file("nosuch.cfg"), "No such file"},
                                                      {dir_.path(), "Is a directory"}};
  for (const auto& [path, reason] : rows) {
    EXPECT_EQ(check(path), 2) << path;
    EXPECT_EQ(out_, "");
    EXPECT_NE(err_.find(path + ": cannot read: " + reason), std::string::npos) << err_;
  }
}

}  // namespace
}  // namespace kw
