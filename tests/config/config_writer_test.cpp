// The configuration writer: golden files for its layout, generated configurations that must
// survive a save and a load unchanged, and saves that fail part-way (a full disk) or cannot
// start, which must leave the old file as it was.
#include "config/config_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/settings.h"
#include "config/config_reader.h"
#include "config_state.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"
#include "proxies/proxy_list.h"
#include "support/child_record.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using test::read_file;
using test::write_file;

constexpr char kHeader[] = "##\r\n## Kestrelwick Config File\r\n##\r\n\r\n";

class ConfigWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { test::reset_configuration(); }
  void TearDown() override { test::reset_configuration(); }

  std::vector<std::string> directory_entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(e.path().filename());
    }
    return names;
  }

  test::RecordingFrontend frontend_;
  test::ScratchDir dir_;
};

TEST_F(ConfigWriterTest, EmptyConfiguration) {
  settings().port.store(8080);
  EXPECT_EQ(config_file_text(),
            std::string(kHeader) +
                "[Global]\r\nEnable = FALSE\r\nFilterHTML = FALSE\r\nFilterHeadersIn = FALSE\r\n"
                "FilterHeadersOut = FALSE\r\nFreezeGIF = FALSE\r\nEnableProxy = FALSE\r\n"
                "EnableAutoRun = FALSE\r\nForceTextures = FALSE\r\nNoTextures = FALSE\r\n"
                "Port = 8080\r\n\r\n[HTTP headers]\r\n\r\n[Patterns]\r\n\r\n[Proxies]\r\n\r\n");
}

TEST_F(ConfigWriterTest, EveryKindOfLine) {
  settings_set_flags(Enable | FilterHeadersIn | EnableProxy | NoTextures | Changed |
                     PaletteDisplay);
  settings().port.store(3128);
  settings().auto_run = "\"my prog\" -x ";
  settings().texture_paths[kBackTexture] = std::string(program_directory()) + "skins/back.bmp";
  settings().texture_paths[kButtonTexture] = "/elsewhere/button.bmp";
  build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "Two \"quoted\" ", "*.example/",
                   "a\r\n\r\nb", "<*>", 0, "x\r\n");
  build_web_filter(nullptr, 0, nullptr, "first\r\nsecond", "m", nullptr, 100, nullptr);
  build_header_filter(nullptr, HEADER_OUT, "Accept-Encoding: plain pages", nullptr, nullptr);
  build_header_filter(nullptr, HEADER_IN | HEADER_OUT, "Via", "*", " \"x\" ");
  parse_proxy_entry(nullptr, "a:1");
  current_proxy.store(parse_proxy_entry(nullptr, "b:2"));
  parse_proxy_entry(nullptr, "c");

  EXPECT_EQ(config_file_text(),
            std::string(kHeader) +
                "[Global]\r\nEnable = TRUE\r\nFilterHTML = FALSE\r\nFilterHeadersIn = TRUE\r\n"
                "FilterHeadersOut = FALSE\r\nFreezeGIF = FALSE\r\nEnableProxy = TRUE\r\n"
                "EnableAutoRun = FALSE\r\nForceTextures = FALSE\r\nNoTextures = TRUE\r\n"
                "AutoRun = \"\"my prog\" -x \"\r\n"
                "Back.BMP = \"../skins/back.bmp\"\r\n"
                "Button.BMP = \"/elsewhere/button.bmp\"\r\n"
                "Port = 3128\r\n\r\n"
                "[HTTP headers]\r\n"
                "In = FALSE\r\nOut = TRUE\r\nKey = \"Accept-Encoding: plain pages\"\r\n\r\n"
                "In = TRUE\r\nOut = TRUE\r\nKey = \"Via\"\r\nMatch = \"*\"\r\n"
                "Replace = \" \"x\" \"\r\n\r\n\r\n"
                "[Patterns]\r\n"
                "Name = \"Two \"quoted\" \"\r\nActive = TRUE\r\nMulti = TRUE\r\n"
                "URL = \"*.example/\"\r\nBounds = \"<*>\"\r\n"
                "Match = \"a\"\r\n        \"\"\r\n        \"b\"\r\n"
                "Replace = \"x\"\r\n\r\n"
                "Active = FALSE\r\nURL = \"first\"\r\n      \"second\"\r\nLimit = 100\r\n"
                "Match = \"m\"\r\n\r\n\r\n"
                "[Proxies]\r\n c:8080\r\n>b:2\r\n a:1\r\n\r\n");
  // The setting keeps its full path.
  EXPECT_EQ(settings().texture_paths[kBackTexture],
            std::string(program_directory()) + "skins/back.bmp");
}

// Multi-line texts split at every line end the splitter knows, longest first (a line end at the
// very end adds no line); one-line fields stop at their first line end, which would otherwise
// start a line of its own.
TEST_F(ConfigWriterTest, LineEndsInTexts) {
  build_web_filter(nullptr, 0, "name\r\nActive = TRUE", nullptr,
                   "1\r\n\n\r2\r\n\n3\r\n4\r5\n\r6\n7\n", "b\nLimit = 1", 0, nullptr);
  settings().auto_run = "prog\n[Proxies]";
  parse_proxy_entry(nullptr, "host\r\n>evil:1");
  const std::string text = config_file_text();
  EXPECT_NE(text.find("Name = \"name\"\r\nActive = FALSE\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Match = \"1\"\r\n        \"2\"\r\n        \"3\"\r\n        \"4\"\r\n"
                      "        \"5\"\r\n        \"6\"\r\n        \"7\"\r\n\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Bounds = \"b\"\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("AutoRun = \"prog\"\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Proxies]\r\n host:1\r\n\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("evil"), std::string::npos) << text;
}

// Random configurations within what the writer can carry: one-line texts without line ends,
// multi-line texts joined by CR LF and not ending in a line end, limits from 1 (0 reads back
// as 4096), proxy hosts that do not start like a comment, a mark or a section.
class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool chance(int percent) { return pick(1, 100) <= percent; }

  // Bytes 1 to 255 without CR and LF, with quotes and blanks often.
  std::string line(int max_length, bool nonempty = false) {
    static const std::string common = "\"\" \t=#[];>abcXYZ09*?\\";
    std::string text;
    for (int i = pick(nonempty ? 1 : 0, max_length); i > 0; --i) {
      const char c = chance(60) ? common[pick(0, static_cast<int>(common.size()) - 1)]
                                : static_cast<char>(pick(1, 255));
      text += c == '\r' || c == '\n' ? '.' : c;
    }
    return text;
  }
  std::string nonempty_line(int max_length) { return line(max_length, true); }
  // Up to four lines joined by CR LF, the last one not empty.
  std::string lines(int max_length) {
    std::string text;
    const int count = pick(1, 4);
    for (int i = 1; i < count; ++i) text += line(max_length) + "\r\n";
    return text + nonempty_line(max_length);
  }
  std::string host() {
    static const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789.-_";
    std::string text;
    const int length = pick(1, 30);
    for (int i = 0; i < length; ++i) text += letters[pick(0, static_cast<int>(letters.size()) - 1)];
    return text;
  }

  void fill_configuration() {
    constexpr uint32_t kStored[] = {Enable,           FreezeGIF,       FilterHTML,
                                    FilterHeadersOut, FilterHeadersIn, EnableProxy,
                                    ForceTextures,    NoTextures,      EnableAutoRun};
    uint32_t flags = 0;
    for (uint32_t f : kStored) flags |= chance(50) ? f : 0u;
    settings_set_flags(flags);
    settings().port.store(pick(-70000, 70000));
    if (chance(50)) settings().auto_run = nonempty_line(60);
    for (std::string& path : settings().texture_paths) {
      const int kind = pick(0, 2);
      if (kind == 1) path = "/abs/" + host() + ".bmp";
      if (kind == 2) path = std::string(program_directory()) + host() + ".bmp";
    }
    for (int n = pick(0, 4); n > 0; --n) {
      std::string bounds = chance(50) ? nonempty_line(40) : "";
      for (char& c : bounds) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const uint16_t flags = (chance(50) ? FILTER_ACTIVE : 0) | (chance(50) ? FILTER_MULTI : 0);
      build_web_filter(nullptr, flags, nonempty_line(60).c_str(),
                       chance(50) ? lines(40).c_str() : nullptr, lines(100).c_str(), bounds.c_str(),
                       static_cast<uint32_t>(pick(1, 32767)),
                       chance(70) ? lines(100).c_str() : nullptr);
    }
    for (int n = pick(0, 3); n > 0; --n) {
      const uint16_t flags = (chance(50) ? HEADER_IN : 0) | (chance(50) ? HEADER_OUT : 0);
      build_header_filter(nullptr, flags, nonempty_line(100).c_str(),
                          chance(50) ? nonempty_line(100).c_str() : nullptr,
                          chance(50) ? nonempty_line(100).c_str() : nullptr);
    }
    ProxyEntry* current = nullptr;
    for (int n = pick(0, 4); n > 0; --n) {
      const std::string text = host() + (chance(80) ? ":" + std::to_string(pick(-5, 99999)) : "");
      ProxyEntry* entry = parse_proxy_entry(nullptr, text.c_str());
      if (chance(40)) current = entry;
    }
    current_proxy.store(current);
  }

 private:
  std::mt19937 random_;
};

TEST_F(ConfigWriterTest, GeneratedConfigurationsSurviveSaveAndLoad) {
  const std::string path = dir_.file("round trip.cfg");
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::reset_configuration();
    Generator generator(seed);
    generator.fill_configuration();
    const std::string settings_before = test::settings_text();
    const std::vector<std::string> filters_before = test::web_filter_texts();
    const std::vector<std::string> headers_before = test::header_filter_texts();
    std::vector<std::string> proxies_before = test::proxy_texts();
    std::reverse(proxies_before.begin(), proxies_before.end());

    settings_add_flags(Changed);
    ASSERT_EQ(save_config(path.c_str()), 1);
    EXPECT_FALSE(settings_has(Changed));
    const std::string first = read_file(path);
    test::reset_configuration();
    ASSERT_EQ(load_config(path.c_str()), 1);
    EXPECT_EQ(test::settings_text(), settings_before);
    EXPECT_EQ(test::web_filter_texts(), filters_before);
    EXPECT_EQ(test::header_filter_texts(), headers_before);
    EXPECT_EQ(test::proxy_texts(), proxies_before);

    // The loaded file saves back as it was, but for the proxies, which the load reversed;
    // a second round puts them back in order.
    ASSERT_EQ(save_config(path.c_str()), 1);
    test::reset_configuration();
    ASSERT_EQ(load_config(path.c_str()), 1);
    ASSERT_EQ(save_config(path.c_str()), 1);
    ASSERT_EQ(read_file(path), first);
  }
}

TEST_F(ConfigWriterTest, FailedSavesLeaveTheOldFileAndReportFailure) {
  const std::string path = dir_.file("full.cfg");
  write_file(path, "old contents\r\n");
  build_web_filter(nullptr, 0, "n", nullptr, std::string(1000, 'm').c_str(), nullptr, 0, nullptr);
  settings_add_flags(Changed);

  // A file size limit makes the write fail part-way, as a full disk does, and works whoever
  // runs the test.
  rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 100;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = save_config(path.c_str());
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(result, 0);
  EXPECT_EQ(read_file(path), "old contents\r\n");
  EXPECT_EQ(directory_entries(), std::vector<std::string>{"full.cfg"});
  // Nor can a file be made in a missing directory or without a name.
  EXPECT_EQ(save_config(dir_.file("no such dir/x.cfg").c_str()), 0);
  EXPECT_EQ(save_config(""), 0);
  EXPECT_TRUE(settings_has(Changed));
}

TEST_F(ConfigWriterTest, ReplacesTheFileALinkNamesAndKeepsItsPermissions) {
  const std::string target = dir_.file("real.cfg");
  const std::string link = dir_.file("link.cfg");
  write_file(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  settings().port.store(4321);
  ASSERT_EQ(save_config(link.c_str()), 1);

  struct stat info;
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(read_file(target), config_file_text());
  EXPECT_EQ(directory_entries().size(), 2u);
}

}  // namespace
}  // namespace kw
