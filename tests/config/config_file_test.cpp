// The configuration file both ways: files loaded, each row naming its rules and the state it
// must leave, then saved and loaded again, which must give the same state; the writer's golden
// layout; saves that fail part-way or cannot start, which leave the old file; and the checker
// on a file holding one mistake of each kind, on files the writer wrote and on unreadable ones.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/config_check.h"
#include "config/config_format.h"
#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config_state.h"
#include "support/child_record.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using namespace std::string_literals;
using test::read_file;
using test::write_file;

// A web filter line of test::lists_text().
std::string web(const std::string& name, const std::string& flags, const std::string& match,
                const std::string& replace = "-", const std::string& url = "-",
                const std::string& bounds = "-", int limit = 4096) {
  return "web " + name + "|" + flags + "|" + url + "|" + bounds + "|" + std::to_string(limit) +
         "|" + match + "|" + replace + "\n";
}
std::string unnamed(const std::string& match, const std::string& flags = "") {
  return web("[Unnamed Pattern]", flags, match);
}

// The settings text after flags and port when there is no auto-run line and no texture path.
constexpr char kNoTexts[] = " autorun= texture= texture= texture= texture= texture=";
// The writer ends its lines with CR LF; the texts here are written with LF alone.
std::string crlf(std::string text) {
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
    text.insert(at, "\r");
  return text;
}
const std::string kHeader = crlf("##\n## Kestrelwick Config File\n##\n\n");
const std::string kEmptySaved =
    kHeader + crlf("[Global]\nEnable = FALSE\nFilterHTML = FALSE\nFilterHeadersIn = FALSE\n"
                   "FilterHeadersOut = FALSE\nFreezeGIF = FALSE\nEnableProxy = FALSE\n"
                   "EnableAutoRun = FALSE\nForceTextures = FALSE\nNoTextures = FALSE\n"
                   "InspectSecure = FALSE\nPort = 8080\n\n[HTTP headers]\n\n[Patterns]\n\n"
                   "[Proxies]\n\n");

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A load with InspectSecure set makes the user's authority: here, never in the real home.
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    test::reset_configuration();
  }
  void TearDown() override { test::reset_configuration(); }

  int load(const std::string& text) {
    write_file(path_, text);
    return load_config(path_.c_str());
  }

  // Runs the checker: its exit status; its standard output in out_ (the path written as "F")
  // and its standard error in err_.
  int check(const std::string& path) {
    std::FILE* out = std::fopen(dir_.file("out").c_str(), "w");
    std::FILE* err = std::fopen(dir_.file("err").c_str(), "w");
    const int status = check_config(path.c_str(), out, err);
    std::fclose(out);
    std::fclose(err);
    out_ = read_file(dir_.file("out"));
    err_ = read_file(dir_.file("err"));
    for (size_t at; (at = out_.find(path)) != std::string::npos;)
      out_.replace(at, path.size(), "F");
    return status;
  }

  test::RecordingFrontend frontend_;
  test::ScratchDir dir_;
  const std::string path_ = dir_.file("test.cfg");
  std::string out_, err_;
};

// A file, the rules it exercises and the lists (as test::lists_text() gives them), flags and
// port it must leave; `settings`, when given, is the whole test::settings_text(). Unless
// `reloads` is false the saved file loads back to the same state, the proxies reversed.
struct FileCase {
  const char* rule;
  std::string file;
  std::string lists;
  uint32_t flags = kLoadDefaultFlags;
  int port = kDefaultPort;
  bool reloads = true;
  std::string settings = "";
};

TEST_F(ConfigFileTest, FilesLoadAndSaveBackToTheSameState) {
  const std::string dir = program_directory(), x(5000, 'x'), m(1020, 'm');
  // File names differ by case here, so a path that differs only by case is another file.
  std::string upper_dir = dir;
  for (char& c : upper_dir) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const FileCase rows[] = {
      {"the writer's empty configuration, CR LF line ends", kEmptySaved, "", 0},
      {"lines before any section, in an unknown one or with a blank inside the brackets",
       "Port = 1\nEnable = FALSE\n[Other]\nEnable = FALSE\nPort = 1\n[ Global]\nPort=83\n", ""},
      {"global in capitals with text after; tabs and quotes around a value; a commented key "
       "and lines that are not key lines",
       "[GLOBAL] x ] y\n\tPort\t=\t\"+81\"\n#Port = 5\nPort x = 6\nPort 7\n", "", 0, 81},
      {"flag keys in any case and truth values; the change mark and the palette display are not "
       "read",
       "[Global]\nenable=yes\nFREEZEGIF=10\nFilterHTML=\" 2\"\nForceTextures=t\nEnableAutoRun=Y\n"
       "InspectSecure=TRUE\nNoTextures=\" yes\"\nEnableProxy=on\nFilterHeadersIn=-1\n"
       "FilterHeadersOut=no\nChanged=1\nPaletteDisplay=1\n",
       "", Enable | FreezeGIF | FilterHTML | ForceTextures | EnableAutoRun | InspectSecure},
      {"texts, and paths relative to the program directory",
       "[Global]\nFace1.BMP = " + upper_dir + "f1.bmp\nAutoRun = \" prog --flag \"\"x\"\" \"\n" +
           "Back.BMP = ..\\x.bmp\nInset.BMP = ../skins/inset.bmp\nFace2.BMP = skins/../f2.bmp\n"
           "Button.BMP = \"\"\nPort = x12\n",
       "", 0, 0, true,
       "flags=0 port=0 autorun= prog --flag \"\"x\"\"  texture=" + dir + "x.bmp texture=" + dir +
           "skins/inset.bmp texture=" + upper_dir + "f1.bmp texture=skins/../f2.bmp texture="},
      {"pass-through hosts; a repeated global clears the flags again, the last port wins",
       "[Secure pass-through]\nHost = \"*.bank.example\"\nhost=pinned.example\nOther = x\n"
       "Host = \"\"\n[Global]\nEnable=1\nPort=1\n[Global]\nFreezeGIF=1\n[Global]\nPort=-12abc\n"
       "NoTextures=y\n",
       "pass *.bank.example\npass pinned.example\n", NoTextures, -12},
      {"pattern defaults, every key, Suffix as bounds in lower case; no Match, no record",
       "[Patterns]\nMatch = x\n\nName = n\nActive = TRUE\nMulti = TRUE\nURL = u\"\n"
       "Bounds = \"<*>\" \t\x01\nLimit = 200\nMatch = m\nReplace =   r  \n\nSuffix = ABC\n"
       "Match = x\n\nName = a\nReplace = r\n\nName = \"\t\nMatch = m\n",
       unnamed("x") + web("n", "AM", "m", "r", "u", "<*>", 200) +
           web("[Unnamed Pattern]", "", "x", "-", "-", "abc") + web("\t", "", "m")},
      {"records merge; empty and control lines and the file's end without line end end one",
       "[Patterns]\nName = a\nActive = 1\nMatch = m1\nName = b\nActive = 0\nMatch = m2\n\n \n\t\n"
       "\nName = c\nMatch = 1\n\x02Name = x\nName = d\nMatch = 2\n\nMatch = last",
       web("b", "A", "m2") + web("c", "", "1") + web("d", "", "2") + unnamed("last")},
      // A line end at the very end of a text is not written, so it does not load back.
      {"continuation lines joined by CR LF, one closing quote and what follows it dropped",
       "[Patterns]\nMatch = \"x\"\n        \"abc\"\n        \"\"\nReplace = \"r\"\n"
       "          \" s \"\" \t\n",
       web("[Unnamed Pattern]", "", "x\r\nabc\r\n", "r\r\n s \""), 63, 8080, false},
      {"multi-line URL; other quoted lines ignored; the last Match wins, Active stays set",
       "[Patterns]\nName = \"n\"\n\"lost\"\nURL = \"u\"\n\"v\"\nMatch = m\nLimit = 9\n"
       "\"lost too\"\n\nMatch = a\n## note\n\"lost\"\n\nMatch = a\n\"b\"\nActive = yes\n"
       "Match = c\nActive = no\n",
       web("n", "", "m", "-", "u\r\nv", "-", 9) + unnamed("a") + unnamed("c", "A")},
      {"repeated sections add in file order; an unclosed bracket line ends the section",
       "[Patterns]\nName=1\nMatch=a\n[oops\nMatch = b\n\n[Global]\nPort=-99999999999999999999\n"
       "[Patterns]\nName=2\nMatch=c\n",
       web("1", "", "a") + web("2", "", "c"), 0, -INT32_MAX},
      // Limit 0 is not written and loads back as 4096.
      {"Limit 0 and a negative Limit; an empty name",
       "[Patterns]\nName = \"\nLimit = 0\nMatch = a\n\nLimit = -1\nMatch = b\n",
       web("-", "", "a", "-", "-", "-", 0) +
           web("[Unnamed Pattern]", "", "b", "-", "-", "-", 32767),
       63, 8080, false},
      {"a NUL byte ends its line; a filter that does not compile is kept, inactive",
       "[Patterns]\nMatch = ab\0cd\nName = n\0\n\nName = bad\nActive = TRUE\nMatch = (unclosed\n\n"
       "Name = good\nActive = TRUE\nMatch = fine\n"s,
       web("n", "", "ab") + web("bad", "", "(unclosed") + web("good", "A", "fine")},
      {"every header key; no Key, no record; no continuation lines",
       "[HTTP headers]\nIn = TRUE\nOut = yes\nKey = \"Referer: hide it\"\nMatch = \"*\"\n"
       "Replace = \" none \"\n\nOut = TRUE\nMatch = m\nReplace = r\n\nKey = k\nMatch = \"a\"\n"
       "        \"b\"\n",
       "header IO|Referer: hide it|*| none \nheader |k|a|-\n"},
      {"header records merge without an empty line, in file order with repeated sections",
       "[http HEADERS]\nKey = a\nIn = 1\nKey = b\nOut = 0\n\n\n\nKey = c\n"
       "[HTTP headers]\nKey = d\nOut = 1\n",
       "header I|b|-|-\nheader |c|-|-\nheader O|d|-|-\n"},
      {"proxy order and mark; comments, empty and control lines; entries cut at 79 characters",
       "[Proxies]\n a:1\n>b:2\n c\n# x:1\n;y:2\n\n\t\x01 z:3\r\n:80\n" + std::string(100, 'h') +
           "\n  [Global]\nPort = 99999999999999999999\n",
       "proxy " + std::string(79, 'h') +
           ":8080\nproxy :80\nproxy z:3\nproxy c:8080\nproxy >b:2\nproxy a:1\n",
       0, INT32_MAX},
      {"quotes, control characters and bytes from 128 in texts; section and comment marks",
       "[HTTP headers]\nKey = \"\"k\x01\xff\"\"\nMatch = \"#[;>=\"\n[Patterns]\nName = \"\t\xa0\"\n"
       "Match = \"\"a\"\n        \"[b\x80\"\n        \";\t#\"\n",
       "header |\"k\x01\xff\"|#[;>=|-\n" + web("\t\xa0", "", "\"a\r\n[b\x80\r\n;\t#")},
      {"every text is cut at its limit; continuation lines too",
       "[Global]\nAutoRun = " + x + "\nBack.BMP = " + x + "\nInset.BMP = ../" + x +
           "\n[HTTP headers]\nKey = " + x + "\nMatch = " + x + "\nReplace = " + x +
           "\n[Patterns]\nName = " + x + "\nURL = " + x + "\nBounds = " + x + "\nMatch = \"" + m +
           "\"\n\"abcdef\"\n\"more\"\nReplace = " + x + "\n",
       "header |" + x.substr(0, kHeaderKeyLimit) + "|" + x.substr(0, kHeaderTextLimit) + "|" +
           x.substr(0, kHeaderTextLimit) + "\n" +
           web(x.substr(0, kFilterNameLimit), "", m + "\r\na", x.substr(0, kFilterTextLimit),
               x.substr(0, kFilterUrlLimit), x.substr(0, kFilterBoundsLimit)),
       0, 8080, true,
       "flags=0 port=8080 autorun=" + x.substr(0, kAutoRunLimit) +
           " texture=" + x.substr(0, kConfigPathLimit) +
           " texture=" + (dir + x).substr(0, kConfigPathLimit) + " texture= texture= texture="},
  };
  // Each file loads over what the row before left, which must be gone.
  for (const FileCase& c : rows) {
    SCOPED_TRACE(c.rule);
    ASSERT_EQ(load(c.file), 1);
    EXPECT_EQ(test::lists_text(), c.lists);
    const std::string settings =
        !c.settings.empty()
            ? c.settings
            : "flags=" + std::to_string(c.flags) + " port=" + std::to_string(c.port) + kNoTexts;
    EXPECT_EQ(test::settings_text(), settings);
    EXPECT_EQ(current_proxy.load() != nullptr, c.lists.find("proxy >") != std::string::npos);
    // No connection ran during the load, so the dropped entries were freed, not kept.
    EXPECT_EQ(retired_proxy_count(), 0);

    // Neither the change mark nor the palette display is stored; a save clears only the mark,
    // a load both.
    settings_add_flags(Changed | PaletteDisplay);
    ASSERT_EQ(save_config(path_.c_str()), 1);
    EXPECT_EQ(settings_flags(), c.flags | PaletteDisplay);
    if (!c.reloads) continue;
    settings_add_flags(Changed);
    ASSERT_EQ(load_config(path_.c_str()), 1);
    EXPECT_EQ(test::settings_text(), settings);
    EXPECT_EQ(test::lists_text(true), c.lists);
  }
}

// A file that cannot be opened changes only flags and port; only the loads that read their file
// reload the textures.
TEST_F(ConfigFileTest, AFailedOpenChangesOnlyFlagsAndPort) {
  ASSERT_EQ(load("[Global]\nEnable=1\nPort=1\nAutoRun=a\nBack.BMP=/b\n[Patterns]\nMatch=x\n"
                 "[HTTP headers]\nKey=k\n[Proxies]\n>p:1\n"),
            1);
  for (const std::string& path : {dir_.file("missing.cfg"), dir_.path()}) {
    EXPECT_EQ(load_config(path.c_str()), 0) << path;
    EXPECT_EQ(test::configuration_text(),
              "flags=63 port=8080 autorun=a texture=/b texture= texture= texture= texture=\n"
              "header |k|-|-\n" +
                  unnamed("x") + "proxy >p:1\n");
  }
  EXPECT_EQ(frontend_.textures_reloaded(), 1);
}

// Multi-line texts split at every line end the splitter knows, longest first (a line end at the
// very end adds no line); one-line fields stop at their first line end, which would otherwise
// start a line of its own.
TEST_F(ConfigFileTest, WriterLayout) {
  settings().port.store(8080);
  EXPECT_EQ(config_file_text(), kEmptySaved);
  test::build_every_kind();
  EXPECT_EQ(config_file_text(),
            kHeader +
                crlf("[Global]\nEnable = TRUE\nFilterHTML = FALSE\nFilterHeadersIn = TRUE\n"
                     "FilterHeadersOut = FALSE\nFreezeGIF = FALSE\nEnableProxy = TRUE\n"
                     "EnableAutoRun = FALSE\nForceTextures = FALSE\nNoTextures = TRUE\n"
                     "InspectSecure = FALSE\nAutoRun = \"\"my prog\" -x \"\n"
                     "Back.BMP = \"../skins/back.bmp\"\nButton.BMP = \"/elsewhere/button.bmp\"\n"
                     "Port = 65535\n\n[HTTP headers]\n"
                     "In = FALSE\nOut = TRUE\nKey = \"Accept-Encoding: plain pages\"\n\nIn = TRUE\n"
                     "Out = TRUE\nKey = \"Via\"\nMatch = \"*\"\nReplace = \" \"x\" \"\n\n\n"
                     "[Patterns]\nName = \"Two \"quoted\" \"\nActive = TRUE\nMulti = TRUE\n"
                     "URL = \"*.example/\"\nBounds = \"<*>\"\n"
                     "Match = \"a\"\n        \"\"\n        \"b\"\nReplace = \"x\"\n\n"
                     "Active = FALSE\nURL = \"first\"\n      \"second\"\nLimit = 32767\n"
                     "Match = \"m\"\n\nName = \"name\"\nActive = FALSE\nBounds = \"b\"\n"
                     "Match = \"1\"\n        \"2\"\n        \"3\"\n        \"4\"\n"
                     "        \"5\"\n        \"6\"\n        \"7\"\n\n\n"
                     "[Proxies]\n host:1\n c:8080\n>b:2\n a:1\n\n"
                     "[Secure pass-through]\nHost = \"*.bank.example\"\n\n"));
}

// A save replaces the file a link names and keeps its permissions; a save that fails part-way
// or cannot start leaves the old file, no stray file and the change mark (the commands' table
// saves where no file can be made).
TEST_F(ConfigFileTest, SavesReplaceTheFileOrLeaveItAsItWas) {
  const std::string link = dir_.file("link.cfg");
  write_file(path_, "old contents\r\n");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  settings().port.store(4321);
  ASSERT_EQ(save_config(link.c_str()), 1);
  struct stat info;
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  const std::string old_contents = read_file(path_);
  EXPECT_EQ(old_contents, config_file_text());

  build_web_filter(nullptr, 0, "n", nullptr, std::string(1000, 'm').c_str(), nullptr, 0, nullptr);
  settings_add_flags(Changed);
  // A file size limit makes the write fail part-way, as a full disk does, and works whoever
  // runs the test.
  rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const rlimit small = {old_contents.size() + 100, old_limit.rlim_max};
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = save_config(link.c_str());
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(read_file(path_), old_contents);
  const std::filesystem::directory_iterator entries(dir_.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 2);
  EXPECT_EQ(save_config(""), 0);
  EXPECT_TRUE(settings_has(Changed));
}

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

// The checker loads nothing; a load of the same file goes on past the filters that do not
// compile and names each of them.
TEST_F(ConfigFileTest, CheckerReportsEachMistakeWithItsLineAndTheLoadNamesTheBrokenFilters) {
  write_file(path_, kMistakes);
  EXPECT_EQ(check(path_), 1);
  EXPECT_EQ(out_, kMistakesReport);
  EXPECT_EQ(test::lists_text(), "");
  EXPECT_EQ(settings_port(), 0);

  ASSERT_EQ(load_config(path_.c_str()), 1);
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
TEST_F(ConfigFileTest, FilesTheWriterWroteCheckCleanAndUnreadableOnesAreNamed) {
  EXPECT_EQ(check(default_config_path()), 0) << out_;
  test::build_every_kind();
  write_file(path_, config_file_text());
  EXPECT_EQ(check(path_), 0) << out_;
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
