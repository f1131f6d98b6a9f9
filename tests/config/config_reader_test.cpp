// The configuration reader: the single-line rules (key lines, numbers, truth values,
// continuations, paths) as tables, then whole files loaded through load_config, each row
// naming the rule it exercises and the whole state it must leave.
#include "config/config_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/settings.h"
#include "config/config_format.h"
#include "config_state.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"
#include "proxies/proxy_list.h"
#include "support/child_record.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using namespace std::string_literals;

TEST(ConfigLines, KeyLinesSplitIntoKeyAndValue) {
  struct Row {
    const char* line;
    const char* key;  // nullptr: not a key line
    const char* value;
  } rows[] = {{"Name = x", "Name", "x"},
              {"\tName\t=\t\"x\"", "Name", "x"},
              {"Name = \"  two blanks  \"", "Name", "  two blanks  "},
              {"Name =   two blanks   ", "Name", "two blanks"},
              {"Match = \"a\"b\"", "Match", "a\"b"},
              {"Match = \"\"a\"\"", "Match", "\"a\""},
              {"Key = \"", "Key", ""},
              {"= x", "", "x"},
              {"Match = a\"", "Match", "a"},
              {"Match = \"a\" \t\x01", "Match", "a"},
              {"Name = \"\t", "Name", "\t"},
              {"Name = caf\xe9 \xa0", "Name", "caf\xe9 \xa0"},
              {"Port=8080=9", "Port", "8080=9"},
              {"## Kestrelwick Config File", nullptr, nullptr},
              {"Port 8080", nullptr, nullptr},
              {"Na me = x", nullptr, nullptr},
              {"\"abc\"", nullptr, nullptr}};
  for (const Row& r : rows) {
    KeyLine k;
    ASSERT_EQ(parse_key_line(r.line, &k), r.key != nullptr) << r.line;
    if (r.key == nullptr) continue;
    EXPECT_EQ(k.key, r.key) << r.line;
    EXPECT_EQ(k.value, r.value) << r.line;
  }
}

TEST(ConfigLines, DecimalsTruthValuesAndContinuations) {
  EXPECT_EQ(read_config_decimal("8080"), 8080);
  EXPECT_EQ(read_config_decimal("  -12abc"), -12);
  EXPECT_EQ(read_config_decimal("+7"), 7);
  EXPECT_EQ(read_config_decimal("x12"), 0);
  EXPECT_EQ(read_config_decimal("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(read_config_decimal("-99999999999999999999"), -INT32_MAX);
  for (const char* t : {"TRUE", "true", "yes", "Y", "1", "10", " 2", "t"}) {
    EXPECT_TRUE(read_config_truth(t)) << t;
  }
  for (const char* f : {"FALSE", "false", "no", "0", "-1", "", "on", " yes"}) {
    EXPECT_FALSE(read_config_truth(f)) << f;
  }
  // Only quoted lines continue a text; nullptr: not a continuation.
  const std::pair<const char*, const char*> continuations[] = {
      {"        \"abc\"", "abc"}, {"\"\"", ""}, {" \"  x \" \t", "  x "}, {"\"a\"\"", "a\""},
      {"Match = \"x\"", nullptr}, {"", nullptr}};
  for (const auto& [line, expected] : continuations) {
    std::string_view text;
    ASSERT_EQ(parse_continuation_line(line, &text), expected != nullptr) << line;
    if (expected) {
      EXPECT_EQ(text, expected) << line;
    }
  }
}

TEST(ConfigLines, PathsRelativeToTheProgramDirectory) {
  const std::string dir = "/opt/kw/";
  EXPECT_EQ(resolve_config_path("../skins/back.bmp", dir), "/opt/kw/skins/back.bmp");
  EXPECT_EQ(resolve_config_path("..\\skins\\back.bmp", dir), "/opt/kw/skins/back.bmp");
  EXPECT_EQ(resolve_config_path("/elsewhere/back.bmp", dir), "/elsewhere/back.bmp");
  EXPECT_EQ(resolve_config_path("skins/../back.bmp", dir), "skins/../back.bmp");
  EXPECT_EQ(resolve_config_path(std::string(2000, 'p'), dir).size(), kConfigPathLimit);
  EXPECT_EQ(resolve_config_path("../" + std::string(2000, 'p'), dir).size(), kConfigPathLimit);

  EXPECT_EQ(relative_config_path("/opt/kw/skins/back.bmp", dir), "../skins/back.bmp");
  EXPECT_EQ(relative_config_path("/opt/kwx/back.bmp", dir), "/opt/kwx/back.bmp");
  // File names differ by case here, so a path that differs only by case is another file.
  EXPECT_EQ(relative_config_path("/opt/KW/back.bmp", dir), "/opt/KW/back.bmp");
  // Too short a directory (the root) never gives relative paths.
  EXPECT_EQ(relative_config_path("/a/back.bmp", "/a/"), "/a/back.bmp");
  EXPECT_EQ(relative_config_path("/ab/back.bmp", "/ab/"), "../back.bmp");
}

// A file, the rule it exercises and the flags, port and lists (as test::lists_text() gives
// them) it must leave.
struct FileCase {
  const char* rule;
  std::string file;
  uint32_t flags;
  int port;
  std::string lists;
};

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

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override { test::reset_configuration(); }
  void TearDown() override { test::reset_configuration(); }

  int load(const std::string& text) {
    const std::string path = dir_.file("test.cfg");
    test::write_file(path, text);
    return load_config(path.c_str());
  }

  // Loads each row's file into an empty configuration and compares the whole state.
  void check(const std::vector<FileCase>& rows) {
    for (const FileCase& c : rows) {
      SCOPED_TRACE(c.rule);
      test::reset_configuration();
      frontend_.clear();
      ASSERT_EQ(load(c.file), 1);
      EXPECT_EQ(settings_flags(), c.flags);
      EXPECT_EQ(settings_port(), c.port);
      EXPECT_EQ(test::lists_text(), c.lists);
      EXPECT_EQ(frontend_.textures_reloaded(), 1);
    }
  }

  test::RecordingFrontend frontend_;
  test::ScratchDir dir_;
};

constexpr uint32_t kAllFlags = Enable | FreezeGIF | FilterHTML | FilterHeadersIn |
                               FilterHeadersOut | EnableProxy | EnableAutoRun | ForceTextures |
                               NoTextures;

TEST_F(ConfigFileTest, Sections) {
  check({
      {"empty file", "", 63, 8080, ""},
      {"no known section", "[Other]\nEnable = FALSE\nPort = 1\n", 63, 8080, ""},
      {"lines before any section", "Port = 1\nEnable = FALSE\n", 63, 8080, ""},
      {"global without flag keys", "[Global]\n", 0, 8080, ""},
      {"global in capitals with text after", "[GLOBAL] x ] y\nPort=81\n", 0, 81, ""},
      {"blank inside the brackets", "[ Global]\nPort=83\n", 63, 8080, ""},
      {"every flag key, any case",
       "[Global]\nenable=1\nFREEZEGIF=1\nFilterHTML=1\nFilterHeadersIn=1\nFilterHeadersOut=1\n"
       "EnableProxy=1\nEnableAutoRun=1\nForceTextures=1\nNoTextures=1\nChanged=1\n"
       "PaletteDisplay=1\n",
       kAllFlags, 8080, ""},
      {"comment lines and commented keys",
       "[Global]\n##\n## Kestrelwick Config File\n#Port = 5\nPort = 90\n", 0, 90, ""},
      {"repeated global clears the flags again, last port wins",
       "[Global]\nEnable=1\nPort=1\n[Global]\nFreezeGIF=1\n[Global]\nPort=2\nNoTextures=y\n",
       NoTextures, 2, ""},
      {"CR LF line ends", "[Global]\r\nEnable = TRUE\r\nPort = 91\r\n", Enable, 91, ""},
  });
}

TEST_F(ConfigFileTest, Patterns) {
  check({
      {"defaults of a record", "[Patterns]\nMatch = x\n", 63, 8080, unnamed("x")},
      {"every key",
       "[Patterns]\nName = n\nActive = TRUE\nMulti = TRUE\nURL = u\nBounds = <*>\n"
       "Limit = 200\nMatch = m\nReplace = r\n",
       63, 8080, web("n", "AM", "m", "r", "u", "<*>", 200)},
      {"Suffix sets the bounds in lower case", "[Patterns]\nSuffix = ABC\nMatch = x\n", 63, 8080,
       web("[Unnamed Pattern]", "", "x", "-", "-", "abc")},
      {"record without Match is dropped",
       "[Patterns]\nName = a\nReplace = r\n\nName = b\nMatch = m\n", 63, 8080, web("b", "", "m")},
      {"records without an empty line between them merge",
       "[Patterns]\nName = a\nActive = 1\nMatch = m1\nName = b\nActive = 0\nMatch = m2\n", 63, 8080,
       web("b", "A", "m2")},
      {"several empty lines end one record",
       "[Patterns]\nName = a\nMatch = 1\n\n \n\t\n\nName = b\nMatch = 2\n", 63, 8080,
       web("a", "", "1") + web("b", "", "2")},
      {"a line starting with a control character ends a record",
       "[Patterns]\nName = a\nMatch = 1\n\x02Name = c\nName = b\nMatch = 2\n", 63, 8080,
       web("a", "", "1") + web("b", "", "2")},
      {"continuation lines joined by CR LF",
       "[Patterns]\nMatch = \"x\"\n        \"abc\"\n        \"\"\nReplace = \"r\"\n"
       "          \" s \"\n",
       63, 8080, web("[Unnamed Pattern]", "", "x\r\nabc\r\n", "r\r\n s ")},
      {"quoted line after Name or after a key line is ignored",
       "[Patterns]\nName = \"n\"\n\"lost\"\nMatch = m\nLimit = 9\n\"lost too\"\n", 63, 8080,
       web("n", "", "m", "-", "-", "-", 9)},
      {"any other line stops the continuation", "[Patterns]\nMatch = a\n## note\n\"lost\"\n", 63,
       8080, unnamed("a")},
      {"a Match given twice is overwritten, an active flag stays set",
       "[Patterns]\nMatch = a\n\"b\"\nActive = yes\nMatch = c\nActive = no\n", 63, 8080,
       unnamed("c", "A")},
      {"repeated sections add to the list in file order",
       "[Patterns]\nName=1\nMatch=a\n[Global]\n[Patterns]\nName=2\nMatch=b\n", 0, 8080,
       web("1", "", "a") + web("2", "", "b")},
      {"a record ends at the end of the file without a line end", "[Patterns]\nMatch = last", 63,
       8080, unnamed("last")},
      {"Limit 0 and a negative Limit",
       "[Patterns]\nLimit = 0\nMatch = a\n\nLimit = -1\nMatch = b\n", 63, 8080,
       web("[Unnamed Pattern]", "", "a", "-", "-", "-", 0) +
           web("[Unnamed Pattern]", "", "b", "-", "-", "-", 32767)},
      {"a bracket line without its close ends the section and what follows is skipped",
       "[Patterns]\nMatch = a\n[oops\nMatch = b\n\n[Patterns]\nMatch = c\n", 63, 8080,
       unnamed("a") + unnamed("c")},
      {"a NUL byte ends its line", "[Patterns]\nMatch = ab\0cd\nName = n\0\n"s, 63, 8080,
       web("n", "", "ab")},
      {"a filter that does not compile is kept, inactive",
       "[Patterns]\nName = bad\nActive = TRUE\nMatch = (unclosed\n\n"
       "Name = good\nActive = TRUE\nMatch = fine\n",
       63, 8080, web("bad", "", "(unclosed") + web("good", "A", "fine")},
  });
}

TEST_F(ConfigFileTest, HeadersAndProxies) {
  check({
      {"every header key",
       "[HTTP headers]\nIn = TRUE\nOut = yes\nKey = \"Referer: hide it\"\nMatch = \"*\"\n"
       "Replace = \" none \"\n",
       63, 8080, "header IO|Referer: hide it|*| none \n"},
      {"a header record without Key is dropped even with Match and Replace",
       "[HTTP headers]\nOut = TRUE\nMatch = m\nReplace = r\n\nKey = Cookie\n", 63, 8080,
       "header |Cookie|-|-\n"},
      {"header records merge without an empty line, in file order with repeated sections",
       "[http HEADERS]\nKey = a\nIn = 1\nKey = b\nOut = 0\n\n\n\nKey = c\n"
       "[HTTP headers]\nKey = d\nOut = 1\n",
       63, 8080, "header I|b|-|-\nheader |c|-|-\nheader O|d|-|-\n"},
      {"no continuation lines for headers",
       "[HTTP headers]\nKey = k\nMatch = \"a\"\n        \"b\"\n", 63, 8080, "header |k|a|-\n"},
      {"Key, Match and Replace are cut at their limits",
       "[HTTP headers]\nKey = " + std::string(200, 'k') + "\nMatch = " + std::string(2000, 'm') +
           "\nReplace = " + std::string(2000, 'r') + "\n",
       63, 8080,
       "header |" + std::string(131, 'k') + "|" + std::string(1027, 'm') + "|" +
           std::string(1027, 'r') + "\n"},
      {"proxy order and current mark", "[Proxies]\n a:1\n>b:2\n c\n", 63, 8080,
       "proxy c:8080\nproxy >b:2\nproxy a:1\n"},
      {"proxy comments, empty lines, control characters",
       "[Proxies]\n# x:1\n;y:2\n\n\t\x01 z:3\r\n", 63, 8080, "proxy z:3\n"},
      {"bad and missing ports", "[Proxies]\nh:\nh:abc\n:80\nh: 12\n", 63, 8080,
       "proxy h:12\nproxy :80\nproxy h:0\nproxy h:0\n"},
      {"a section header ends the proxies", "[Proxies]\na:1\n  [Global]\nPort = 5\n", 0, 5,
       "proxy a:1\n"},
      {"a proxy entry is cut at 79 characters", "[Proxies]\n>" + std::string(100, 'h') + "\n", 63,
       8080, "proxy >" + std::string(79, 'h') + ":8080\n"},
  });
}

TEST_F(ConfigFileTest, TextsPathsAndTheirLimits) {
  ASSERT_EQ(load("[Global]\nAutoRun = \" prog --flag \"\"x\"\" \"\nBack.BMP = ..\\x.bmp\n"
                 "Inset.BMP = ../skins/inset.bmp\nFace1.BMP = /abs/f1.bmp\nFace2.BMP = f2.bmp\n"
                 "Button.BMP = \"\"\n"),
            1);
  const std::string dir = program_directory();
  EXPECT_EQ(test::settings_text(), "flags=0 port=8080 autorun= prog --flag \"\"x\"\"  texture=" +
                                       dir + "x.bmp texture=" + dir +
                                       "skins/inset.bmp texture=/abs/f1.bmp texture=f2.bmp "
                                       "texture=");

  const std::string long_text(5000, 'x');
  ASSERT_EQ(load("[Global]\nAutoRun = " + long_text + "\nBack.BMP = " + long_text +
                 "\n[Patterns]\nName = " + long_text + "\nURL = " + long_text +
                 "\nBounds = " + long_text + "\nMatch = \"" + std::string(1020, 'm') +
                 "\"\n\"abcdef\"\n\"more\"\nReplace = " + long_text + "\n"),
            1);
  EXPECT_EQ(settings().auto_run.size(), kAutoRunLimit);
  EXPECT_EQ(settings().texture_paths[kBackTexture].size(), kConfigPathLimit);
  ASSERT_NE(web_filter_list, nullptr);
  const WebFilter* f = web_filter_list;
  EXPECT_EQ(std::strlen(f->name.get()), kFilterNameLimit);
  EXPECT_EQ(std::strlen(f->url.get()), kFilterUrlLimit);
  EXPECT_EQ(std::strlen(f->bounds.get()), kFilterBoundsLimit);
  EXPECT_EQ(std::string(f->match.get()), std::string(1020, 'm') + "\r\na");
  EXPECT_EQ(std::strlen(f->replace.get()), kFilterTextLimit);
}

TEST_F(ConfigFileTest, ALoadReplacesEverythingAndClearsChanged) {
  ASSERT_EQ(load("[Global]\nEnable=1\nPort=1\nAutoRun=a\nBack.BMP=/b\n[Patterns]\nMatch=x\n"
                 "[HTTP headers]\nKey=k\n[Proxies]\n>p:1\n"),
            1);
  settings_add_flags(Changed);
  ASSERT_NE(current_proxy.load(), nullptr);
  ASSERT_EQ(load("[Patterns]\nMatch=y\n"), 1);
  EXPECT_EQ(
      test::configuration_text(),
      "flags=63 port=8080 autorun= texture= texture= texture= texture= texture=\n" + unnamed("y"));
  EXPECT_EQ(current_proxy.load(), nullptr);
  // No connection ran during the load, so the dropped entry was freed, not kept.
  EXPECT_EQ(retired_proxy_count(), 0);
}

TEST_F(ConfigFileTest, AFileThatCannotBeOpenedChangesOnlyFlagsAndPort) {
  ASSERT_EQ(load("[Global]\nPort=1\nAutoRun=a\n[Patterns]\nMatch=x\n[Proxies]\n>p:1\n"), 1);
  for (const std::string& path : {dir_.file("missing.cfg"), dir_.path()}) {
    EXPECT_EQ(load_config(path.c_str()), 0) << path;
    EXPECT_EQ(test::configuration_text(),
              "flags=63 port=8080 autorun=a texture= texture= texture= texture= texture=\n" +
                  unnamed("x") + "proxy >p:1\n");
  }
  EXPECT_EQ(frontend_.textures_reloaded(), 1);
}

}  // namespace
}  // namespace kw
