// Decisions of the forwarding step that need no network: reload exemptions, how a body travels,
// and the file URL of the program directory.
#include "engine/forwarding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/settings.h"
#include "engine/program_directory.h"
#include "fed_message.h"

namespace kw {
namespace {

using test::FedMessage;

TEST(StaticFile, ByExtension) {
  const std::pair<const char*, int> urls[] = {
      {"http://h/a.gif", 1},        {"http://h/dir/b.JPG", 1}, {"http://h/c.jpeg", 1},
      {"http://h/Applet.class", 1}, {"http://h/p.png", 1},     {"http://h/x.xbm", 1},
      {"http://h/a.gif?x=1", 0},    {"http://h/a.gif#top", 0}, {"http://h/index.html", 0},
      {"http://h/a.gi", 0},         {"http://h/a.classes", 0}, {"http://h/gif", 0},
      {"http://h/.gif/x", 0},       {"http://h/", 0}};
  for (const auto& [url, is_static] : urls) {
    FedMessage fed({std::string("GET ") + url + " HTTP/1.0\r\n"});
    ASSERT_GT(read_line(&fed.msg, fed.line, kLineBufferSize), 0);
    ASSERT_EQ(parse_request_line(&fed.msg), 1);
    EXPECT_EQ(is_static_file(&fed.request), is_static) << url;
  }
}

struct ModeCase {
  const char* name;
  uint32_t flags;
  std::string head;  // status line and headers
  RelayMode mode;
  bool keeps_length;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class RelayModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(RelayModeTest, Decides) {
  const ModeCase& c = GetParam();
  settings_set_flags(c.flags);
  FedMessage fed({c.head + "Content-Length: 3\r\n\r\n"});
  ASSERT_EQ(parse_status_line(&fed.msg), 1);
  ASSERT_EQ(parse_headers(&fed.msg), 1);
  EXPECT_EQ(choose_relay_mode(&fed.msg), c.mode);
  EXPECT_EQ(find_header(&fed.msg, "content-length") != nullptr, c.keeps_length);
}

constexpr uint32_t kAll = kLoadDefaultFlags;
const std::string kOk = "HTTP/1.0 200 OK\r\n";
using enum RelayMode;

const ModeCase kModeCases[] = {
    {"HtmlWithCharset", kAll, kOk + "Content-Type: text/html; charset=utf-8\r\n", kFilter, false},
    {"HtmlInCapitals", kAll, kOk + "CONTENT-TYPE: TEXT/HTML\r\n", kFilter, false},
    {"ScriptOn404", kAll, "HTTP/1.0 404 Nope\r\nContent-type: application/x-javascript\r\n",
     kFilter, false},
    {"ServerPush", kAll, kOk + "Content-type: multipart/x-mixed-replace;b=x\r\n", kFilter, false},
    {"Redirect", kAll, "HTTP/1.0 302 Found\r\nContent-type: text/html\r\n", kPlain, true},
    {"ServerError", kAll, "HTTP/1.0 500 Oops\r\nContent-type: text/html\r\n", kPlain, true},
    {"Chunked", kAll, "HTTP/1.1 200 OK\r\nContent-type: text/css\r\nTransfer-Encoding: chunked\r\n",
     kPlain, true},
    {"FilterHtmlOff", kAll & ~FilterHTML, kOk + "Content-type: text/html\r\n", kPlain, true},
    {"Bypass", kAll & ~Enable, kOk + "Content-type: text/html\r\n", kPlain, true},
    {"Gif", kAll, kOk + "Content-type: image/gif\r\n", kGif, false},
    {"GifFreezingOff", kAll & ~FreezeGIF, kOk + "Content-type: image/gif\r\n", kPlain, true},
    {"GifInCapitals", kAll, kOk + "Content-type: image/GIF\r\n", kPlain, true},
    {"GifWithParameter", kAll, kOk + "Content-type: image/gif; x=1\r\n", kPlain, true},
    {"PlainText", kAll, kOk + "Content-type: text/plain\r\n", kPlain, true},
    {"NoType", kAll, kOk, kPlain, true}};

INSTANTIATE_TEST_SUITE_P(Table, RelayModeTest, ::testing::ValuesIn(kModeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramDirectory, FileUrlsFollowTheByteRules) {
  const std::pair<const char*, const char*> urls[] = {
      {"/opt/kw/", "file:///opt/kw/"},
      {"/home/a b/\tx/", "file:///home/a%20b/%09x/"},
      {"C:\\Program Files\\App\\", "file://C|/Program%20Files/App/"},
      {"/opt/caf\xc3\xa9/kw/", "file:///opt/caf"},
      {"", "file://"}};
  for (const auto& [directory, url] : urls) {
    char out[256];
    EXPECT_EQ(directory_file_url(directory, out), static_cast<int>(std::strlen(url))) << url;
    EXPECT_STREQ(out, url);
  }
}

TEST(ProgramDirectory, IsTheDirectoryOfThisProgram) {
  std::string directory = program_directory();
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory.front(), '/');
  EXPECT_EQ(directory.back(), '/');
  char url[2048];
  program_directory_url(url);
  EXPECT_EQ(std::string(url), "file://" + directory);
}

}  // namespace
}  // namespace kw
