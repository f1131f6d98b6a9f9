// The configuration reader: the single-line rules (key lines, numbers, truth values,
// continuations, paths) as tables, then whole files loaded through load_config, each row
// naming the rule it exercises and the state it must leave.
#include "config/config_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/config_format.h"
#include "config/settings.h"
#include "config_state.h"
#include "engine/program_directory.h"
#include "filters/web_filter.h"
#include "proxies/proxy_list.h"
#include "support/child_record.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using namespace std::string_literals;
using test::proxy_texts;
using test::web_filter_texts;

struct KeyCase {
  const char* line;
  bool is_key_line;
  const char* key;  // when it is one
  const char* value;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class KeyLineRule : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyLineRule, SplitsKeyAndValue) {
  KeyLine k;
  ASSERT_EQ(parse_key_line(GetParam().line, &k), GetParam().is_key_line);
  if (!GetParam().is_key_line) return;
  EXPECT_EQ(k.key, GetParam().key);
  EXPECT_EQ(k.value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyLineRule,
    ::testing::Values(KeyCase{"Name = x", true, "Name", "x"},
                      KeyCase{"  Name=x", true, "Name", "x"},
                      KeyCase{"\tName\t=\t\"x\"", true, "Name", "x"},
                      KeyCase{"Name = \"  two blanks  \"", true, "Name", "  two blanks  "},
                      KeyCase{"Name =   two blanks   ", true, "Name", "two blanks"},
                      KeyCase{"Match = \"a\"b\"", true, "Match", "a\"b"},
                      KeyCase{"Match = \"\"a\"\"", true, "Match", "\"a\""},
                      KeyCase{"Key = \"\"", true, "Key", ""}, KeyCase{"Key = \"", true, "Key", ""},
                      KeyCase{"Key =", true, "Key", ""}, KeyCase{"= x", true, "", "x"},
                      KeyCase{"Match = a\"", true, "Match", "a"},
                      KeyCase{"Match = \"a\" \t\x01", true, "Match", "a"},
                      KeyCase{"Name = \"\t", true, "Name", "\t"},
                      KeyCase{"Name = caf\xe9 \xa0", true, "Name", "caf\xe9 \xa0"},
                      KeyCase{"Port=8080=9", true, "Port", "8080=9"},
                      KeyCase{"## Kestrelwick Config File", false, "", ""},
                      KeyCase{"Port 8080", false, "", ""}, KeyCase{"Na me = x", false, "", ""},
                      KeyCase{"", false, "", ""}, KeyCase{"\"abc\"", false, "", ""}));

TEST(ConfigNumbers, DecimalsAndTruthValues) {
  EXPECT_EQ(read_config_decimal("8080"), 8080);
  EXPECT_EQ(read_config_decimal("  -12abc"), -12);
  EXPECT_EQ(read_config_decimal("+7"), 7);
  EXPECT_EQ(read_config_decimal("x12"), 0);
  EXPECT_EQ(read_config_decimal(""), 0);
  EXPECT_EQ(read_config_decimal("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(read_config_decimal("-99999999999999999999"), -INT32_MAX);
  for (const char* t : {"TRUE", "true", "yes", "Y", "1", "10", " 2", "t"}) {
    EXPECT_TRUE(read_config_truth(t)) << t;
  }
  for (const char* f : {"FALSE", "false", "no", "0", "-1", "", "on", " yes"}) {
    EXPECT_FALSE(read_config_truth(f)) << f;
  }
}

TEST(ConfigContinuation, QuotedLinesOnly) {
  std::string_view text;
  ASSERT_TRUE(parse_continuation_line("        \"abc\"", &text));
  EXPECT_EQ(text, "abc");
  ASSERT_TRUE(parse_continuation_line("\"\"", &text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(parse_continuation_line(" \"  x \" \t", &text));
  EXPECT_EQ(text, "  x ");
  ASSERT_TRUE(parse_continuation_line("\"a\"\"", &text));
  EXPECT_EQ(text, "a\"");
  EXPECT_FALSE(parse_continuation_line("Match = \"x\"", &text));
  EXPECT_FALSE(parse_continuation_line("", &text));
}

TEST(ConfigPaths, RelativeToTheProgramDirectory) {
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

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override { test::reset_configuration(); }
  void TearDown() override { test::reset_configuration(); }

  int load(const std::string& text) {
    const std::string path = dir_.file("test.cfg");
    test::write_file(path, text);
    return load_config(path.c_str());
  }

  test::RecordingFrontend frontend_;
  test::ScratchDir dir_;
};

struct FileCase {
  const char* rule;
  std::string file;
  uint32_t flags;
  int port;
  std::vector<std::string> web_filters;
  std::vector<std::string> proxies;
  std::vector<std::string> header_filters = {};
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.rule; }

class LoadedFile : public ConfigFileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(LoadedFile, GivesItsState) {
  const FileCase& c = GetParam();
  ASSERT_EQ(load(c.file), 1);
  EXPECT_EQ(settings_flags(), c.flags);
  EXPECT_EQ(settings_port(), c.port);
  EXPECT_EQ(web_filter_texts(), c.web_filters);
  EXPECT_EQ(proxy_texts(), c.proxies);
  EXPECT_EQ(test::header_filter_texts(), c.header_filters);
  EXPECT_EQ(frontend_.textures_reloaded(), 1);
}

// A [Patterns] record as the tables below write it.
std::string filter(const std::string& name, const std::string& flags, const std::string& match,
                   const std::string& replace = "-", const std::string& url = "-",
                   const std::string& bounds = "-", int limit = 4096) {
  return name + "|" + flags + "|" + url + "|" + bounds + "|" + std::to_string(limit) + "|" + match +
         "|" + replace;
}

constexpr uint32_t kAllFlags = Enable | FreezeGIF | FilterHTML | FilterHeadersIn |
                               FilterHeadersOut | EnableProxy | EnableAutoRun | ForceTextures |
                               NoTextures;

INSTANTIATE_TEST_SUITE_P(
    Sections, LoadedFile,
    ::testing::Values(
        FileCase{"empty file", "", 63, 8080, {}, {}},
        FileCase{"no known section", "[Other]\nEnable = FALSE\nPort = 1\n", 63, 8080, {}, {}},
        FileCase{"lines before any section", "Port = 1\nEnable = FALSE\n", 63, 8080, {}, {}},
        FileCase{"global without flag keys", "[Global]\n", 0, 8080, {}, {}},
        FileCase{"global in lower case", "[global]\nFreezeGIF = 1\n", FreezeGIF, 8080, {}, {}},
        FileCase{"global in capitals with text after", "[GLOBAL] x ] y\nPort=81\n", 0, 81, {}, {}},
        FileCase{"header after blanks and controls", " \t\x01[Global]\nPort=82\n", 0, 82, {}, {}},
        FileCase{"blank inside the brackets", "[ Global]\nPort=83\n", 63, 8080, {}, {}},
        FileCase{"every flag key, any case",
                 "[Global]\nenable=1\nFREEZEGIF=1\nFilterHTML=1\nFilterHeadersIn=1\n"
                 "FilterHeadersOut=1\nEnableProxy=1\nEnableAutoRun=1\nForceTextures=1\n"
                 "NoTextures=1\nChanged=1\nPaletteDisplay=1\n",
                 kAllFlags,
                 8080,
                 {},
                 {}},
        FileCase{"comment lines and commented keys",
                 "[Global]\n##\n## Kestrelwick Config File\n#Port = 5\nPort = 90\n",
                 0,
                 90,
                 {},
                 {}},
        FileCase{
            "repeated global clears the flags again, last port wins",
            "[Global]\nEnable=1\nPort=1\n[Global]\nFreezeGIF=1\n[Global]\nPort=2\nNoTextures=y\n",
            NoTextures,
            2,
            {},
            {}},
        FileCase{
            "CR LF line ends", "[Global]\r\nEnable = TRUE\r\nPort = 91\r\n", Enable, 91, {}, {}}));

INSTANTIATE_TEST_SUITE_P(
    Patterns, LoadedFile,
    ::testing::Values(
        FileCase{"defaults of a record",
                 "[Patterns]\nMatch = x\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "x")},
                 {}},
        FileCase{"every key",
                 "[Patterns]\nName = n\nActive = TRUE\nMulti = TRUE\nURL = u\nBounds = <*>\n"
                 "Limit = 200\nMatch = m\nReplace = r\n",
                 63,
                 8080,
                 {filter("n", "AM", "m", "r", "u", "<*>", 200)},
                 {}},
        FileCase{"Suffix sets the bounds in lower case",
                 "[Patterns]\nSuffix = ABC\nMatch = x\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "x", "-", "-", "abc")},
                 {}},
        FileCase{"record without Match is dropped",
                 "[Patterns]\nName = a\nReplace = r\n\nName = b\nMatch = m\n",
                 63,
                 8080,
                 {filter("b", "", "m")},
                 {}},
        FileCase{"records without an empty line between them merge",
                 "[Patterns]\nName = a\nActive = 1\nMatch = m1\nName = b\nActive = 0\nMatch = m2\n",
                 63,
                 8080,
                 {filter("b", "A", "m2")},
                 {}},
        FileCase{"several empty lines end one record",
                 "[Patterns]\nName = a\nMatch = 1\n\n \n\t\n\nName = b\nMatch = 2\n",
                 63,
                 8080,
                 {filter("a", "", "1"), filter("b", "", "2")},
                 {}},
        FileCase{"a line starting with a control character ends a record",
                 "[Patterns]\nName = a\nMatch = 1\n\x02Name = c\nName = b\nMatch = 2\n",
                 63,
                 8080,
                 {filter("a", "", "1"), filter("b", "", "2")},
                 {}},
        FileCase{"continuation lines joined by CR LF",
                 "[Patterns]\nMatch = \"x\"\n        \"abc\"\n        \"\"\nReplace = \"r\"\n"
                 "          \" s \"\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "x\r\nabc\r\n", "r\r\n s ")},
                 {}},
        FileCase{"URL continues too",
                 "[Patterns]\nURL = \"a\"\n\"b\"\nMatch = m\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "m", "-", "a\r\nb")},
                 {}},
        FileCase{"quoted line after Name or after a key line is ignored",
                 "[Patterns]\nName = \"n\"\n\"lost\"\nMatch = m\nLimit = 9\n\"lost too\"\n",
                 63,
                 8080,
                 {filter("n", "", "m", "-", "-", "-", 9)},
                 {}},
        FileCase{"any other line stops the continuation",
                 "[Patterns]\nMatch = a\n## note\n\"lost\"\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "a")},
                 {}},
        FileCase{"a Match given twice is overwritten, an active flag stays set",
                 "[Patterns]\nMatch = a\n\"b\"\nActive = yes\nMatch = c\nActive = no\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "A", "c")},
                 {}},
        FileCase{"repeated sections add to the list in file order",
                 "[Patterns]\nName=1\nMatch=a\n[Global]\n[Patterns]\nName=2\nMatch=b\n",
                 0,
                 8080,
                 {filter("1", "", "a"), filter("2", "", "b")},
                 {}},
        FileCase{"a record ends at the end of the file without a line end",
                 "[Patterns]\nMatch = last",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "last")},
                 {}},
        FileCase{"Limit 0 and a negative Limit",
                 "[Patterns]\nLimit = 0\nMatch = a\n\nLimit = -1\nMatch = b\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "a", "-", "-", "-", 0),
                  filter("[Unnamed Pattern]", "", "b", "-", "-", "-", 32767)},
                 {}},
        FileCase{"a bracket line without its close ends the section and what follows is skipped",
                 "[Patterns]\nMatch = a\n[oops\nMatch = b\n\n[Patterns]\nMatch = c\n",
                 63,
                 8080,
                 {filter("[Unnamed Pattern]", "", "a"), filter("[Unnamed Pattern]", "", "c")},
                 {}},
        FileCase{"a NUL byte ends its line",
                 "[Patterns]\nMatch = ab\0cd\nName = n\0\n"s,
                 63,
                 8080,
                 {filter("n", "", "ab")},
                 {}}));

INSTANTIATE_TEST_SUITE_P(
    Headers, LoadedFile,
    ::testing::Values(
        FileCase{"every key",
                 "[HTTP headers]\nIn = TRUE\nOut = yes\nKey = \"Referer: hide it\"\n"
                 "Match = \"*\"\nReplace = \" none \"\n",
                 63,
                 8080,
                 {},
                 {},
                 {"IO|Referer: hide it|*| none "}},
        FileCase{"a record without Key is dropped even with Match and Replace",
                 "[HTTP headers]\nOut = TRUE\nMatch = m\nReplace = r\n\nKey = Cookie\n",
                 63,
                 8080,
                 {},
                 {},
                 {"|Cookie|-|-"}},
        FileCase{"records merge without an empty line, in file order with repeated sections",
                 "[http HEADERS]\nKey = a\nIn = 1\nKey = b\nOut = 0\n\n\n\nKey = c\n"
                 "[HTTP headers]\nKey = d\nOut = 1\n",
                 63,
                 8080,
                 {},
                 {},
                 {"I|b|-|-", "|c|-|-", "O|d|-|-"}},
        FileCase{"no continuation lines here",
                 "[HTTP headers]\nKey = k\nMatch = \"a\"\n        \"b\"\n",
                 63,
                 8080,
                 {},
                 {},
                 {"|k|a|-"}},
        FileCase{"Key, Match and Replace are cut at their limits",
                 "[HTTP headers]\nKey = " + std::string(200, 'k') + "\nMatch = " +
                     std::string(2000, 'm') + "\nReplace = " + std::string(2000, 'r') + "\n",
                 63,
                 8080,
                 {},
                 {},
                 {"|" + std::string(131, 'k') + "|" + std::string(1027, 'm') + "|" +
                  std::string(1027, 'r')}}));

INSTANTIATE_TEST_SUITE_P(Proxies, LoadedFile,
                         ::testing::Values(FileCase{"order and current mark",
                                                    "[Proxies]\n a:1\n>b:2\n c\n",
                                                    63,
                                                    8080,
                                                    {},
                                                    {"c:8080", ">b:2", "a:1"}},
                                           FileCase{"comments, empty lines, control characters",
                                                    "[Proxies]\n# x:1\n;y:2\n\n\t\x01 z:3\r\n",
                                                    63,
                                                    8080,
                                                    {},
                                                    {"z:3"}},
                                           FileCase{"last of several marks wins",
                                                    "[Proxies]\n>a:1\n>b:2\nc:3\n",
                                                    63,
                                                    8080,
                                                    {},
                                                    {"c:3", ">b:2", "a:1"}},
                                           FileCase{"bad and missing ports",
                                                    "[Proxies]\nh:\nh:abc\n:80\nh: 12\n",
                                                    63,
                                                    8080,
                                                    {},
                                                    {"h:12", ":80", "h:0", "h:0"}},
                                           FileCase{"a section header ends the proxies",
                                                    "[Proxies]\na:1\n  [Global]\nPort = 5\n",
                                                    0,
                                                    5,
                                                    {},
                                                    {"a:1"}},
                                           FileCase{"an entry is cut at 79 characters",
                                                    "[Proxies]\n>" + std::string(100, 'h') + "\n",
                                                    63,
                                                    8080,
                                                    {},
                                                    {">" + std::string(79, 'h') + ":8080"}}));

TEST_F(ConfigFileTest, ValuesAreCutAtTheirLimits) {
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

TEST_F(ConfigFileTest, TextsAndTexturePaths) {
  ASSERT_EQ(load("[Global]\nAutoRun = \" prog --flag \"\"x\"\" \"\nBack.BMP = ..\\x.bmp\n"
                 "Inset.BMP = ../skins/inset.bmp\nFace1.BMP = /abs/f1.bmp\nFace2.BMP = f2.bmp\n"
                 "Button.BMP = \"\"\n"),
            1);
  const Settings& s = settings();
  const std::string dir = program_directory();
  EXPECT_EQ(s.auto_run, " prog --flag \"\"x\"\" ");
  EXPECT_EQ(s.texture_paths[kBackTexture], dir + "x.bmp");
  EXPECT_EQ(s.texture_paths[kInsetTexture], dir + "skins/inset.bmp");
  EXPECT_EQ(s.texture_paths[kFace1Texture], "/abs/f1.bmp");
  EXPECT_EQ(s.texture_paths[kFace2Texture], "f2.bmp");
  EXPECT_EQ(s.texture_paths[kButtonTexture], "");
}

TEST_F(ConfigFileTest, ALoadReplacesEverythingAndClearsChanged) {
  ASSERT_EQ(load("[Global]\nEnable=1\nPort=1\nAutoRun=a\nBack.BMP=/b\n[Patterns]\nMatch=x\n"
                 "[HTTP headers]\nKey=k\n[Proxies]\n>p:1\n"),
            1);
  settings_add_flags(Changed);
  ProxyEntry* old_current = current_proxy.load();
  ASSERT_NE(old_current, nullptr);
  ASSERT_EQ(load("[Patterns]\nMatch=y\n"), 1);
  EXPECT_EQ(test::settings_text(),
            "flags=63 port=8080 autorun= texture= texture= texture= "
            "texture= texture=");
  EXPECT_EQ(web_filter_texts(), std::vector<std::string>{filter("[Unnamed Pattern]", "", "y")});
  EXPECT_TRUE(proxy_texts().empty());
  EXPECT_TRUE(test::header_filter_texts().empty());
  EXPECT_EQ(current_proxy.load(), nullptr);
  // No connection ran during the load, so the dropped entry was freed, not kept.
  EXPECT_EQ(retired_proxy_count(), 0);
}

TEST_F(ConfigFileTest, AFileThatCannotBeOpenedChangesOnlyFlagsAndPort) {
  ASSERT_EQ(load("[Global]\nPort=1\nAutoRun=a\n[Patterns]\nMatch=x\n[Proxies]\n>p:1\n"), 1);
  const std::vector<std::string> filters = web_filter_texts();
  for (const std::string& path : {dir_.file("missing.cfg"), dir_.path()}) {
    EXPECT_EQ(load_config(path.c_str()), 0) << path;
    EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
    EXPECT_EQ(settings_port(), kDefaultPort);
    EXPECT_EQ(settings().auto_run, "a");
    EXPECT_EQ(web_filter_texts(), filters);
    EXPECT_EQ(proxy_texts(), std::vector<std::string>{">p:1"});
  }
  EXPECT_EQ(frontend_.textures_reloaded(), 1);
}

TEST_F(ConfigFileTest, AFilterThatDoesNotCompileIsKeptInactive) {
  ASSERT_EQ(load("[Patterns]\nName = bad\nActive = TRUE\nMatch = (unclosed\n\n"
                 "Name = good\nActive = TRUE\nMatch = fine\n"),
            1);
  EXPECT_EQ(web_filter_texts(), (std::vector<std::string>{filter("bad", "", "(unclosed"),
                                                          filter("good", "A", "fine")}));
}

}  // namespace
}  // namespace kw
