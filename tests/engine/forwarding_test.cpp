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

struct StaticCase {
  const char* url;
  int is_static;
};

void PrintTo(const StaticCase& c, std::ostream* os) { *os << c.url; }

class StaticFile : public ::testing::TestWithParam<StaticCase> {};

TEST_P(StaticFile, ByExtension) {
  FedMessage fed({std::string("GET ") + GetParam().url + " HTTP/1.0\r\n"});
  ASSERT_GT(read_line(&fed.msg, fed.line, kLineBufferSize), 0);
  ASSERT_EQ(parse_request_line(&fed.msg), 1);
  EXPECT_EQ(is_static_file(&fed.request), GetParam().is_static) << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StaticFile,
    ::testing::Values(StaticCase{"http://h/a.gif", 1}, StaticCase{"http://h/dir/b.JPG", 1},
                      StaticCase{"http://h/c.jpeg", 1}, StaticCase{"http://h/Applet.class", 1},
                      StaticCase{"http://h/p.png", 1}, StaticCase{"http://h/x.xbm", 1},
                      StaticCase{"http://h/a.gif?x=1", 0}, StaticCase{"http://h/a.gif#top", 0},
                      StaticCase{"http://h/index.html", 0}, StaticCase{"http://h/a.gi", 0},
                      StaticCase{"http://h/a.classes", 0}, StaticCase{"http://h/gif", 0},
                      StaticCase{"http://h/.gif/x", 0}, StaticCase{"http://h/", 0}));

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

INSTANTIATE_TEST_SUITE_P(
    Table, RelayModeTest,
    ::testing::Values(
        ModeCase{"HtmlWithCharset", kAll,
                 "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n",
                 RelayMode::kFilter, false},
        ModeCase{"HtmlInCapitals", kAll, "HTTP/1.0 200 OK\r\nCONTENT-TYPE: TEXT/HTML\r\n",
                 RelayMode::kFilter, false},
        ModeCase{"ScriptOn404", kAll,
                 "HTTP/1.0 404 Nope\r\nContent-type: application/x-javascript\r\n",
                 RelayMode::kFilter, false},
        ModeCase{"ServerPush", kAll,
                 "HTTP/1.0 200 OK\r\nContent-type: multipart/x-mixed-replace;b=x\r\n",
                 RelayMode::kFilter, false},
        ModeCase{"Redirect", kAll, "HTTP/1.0 302 Found\r\nContent-type: text/html\r\n",
                 RelayMode::kPlain, true},
        ModeCase{"ServerError", kAll, "HTTP/1.0 500 Oops\r\nContent-type: text/html\r\n",
                 RelayMode::kPlain, true},
        ModeCase{"Chunked", kAll,
                 "HTTP/1.1 200 OK\r\nContent-type: text/css\r\nTransfer-Encoding: chunked\r\n",
                 RelayMode::kPlain, true},
        ModeCase{"FilterHtmlOff", kAll & ~FilterHTML,
                 "HTTP/1.0 200 OK\r\nContent-type: text/html\r\n", RelayMode::kPlain, true},
        ModeCase{"Bypass", kAll & ~Enable, "HTTP/1.0 200 OK\r\nContent-type: text/html\r\n",
                 RelayMode::kPlain, true},
        ModeCase{"Gif", kAll, "HTTP/1.0 200 OK\r\nContent-type: image/gif\r\n", RelayMode::kGif,
                 false},
        ModeCase{"GifFreezingOff", kAll & ~FreezeGIF,
                 "HTTP/1.0 200 OK\r\nContent-type: image/gif\r\n", RelayMode::kPlain, true},
        ModeCase{"GifInCapitals", kAll, "HTTP/1.0 200 OK\r\nContent-type: image/GIF\r\n",
                 RelayMode::kPlain, true},
        ModeCase{"GifWithParameter", kAll, "HTTP/1.0 200 OK\r\nContent-type: image/gif; x=1\r\n",
                 RelayMode::kPlain, true},
        ModeCase{"PlainText", kAll, "HTTP/1.0 200 OK\r\nContent-type: text/plain\r\n",
                 RelayMode::kPlain, true},
        ModeCase{"NoType", kAll, "HTTP/1.0 200 OK\r\n", RelayMode::kPlain, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct UrlCase {
  const char* directory;
  const char* url;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.url; }

class DirectoryUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(DirectoryUrl, FollowsTheByteRules) {
  char out[256];
  int n = directory_file_url(GetParam().directory, out);
  EXPECT_STREQ(out, GetParam().url);
  EXPECT_EQ(n, static_cast<int>(std::strlen(GetParam().url)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DirectoryUrl,
    ::testing::Values(UrlCase{"/opt/kw/", "file:///opt/kw/"},
                      UrlCase{"/home/a b/\tx/", "file:///home/a%20b/%09x/"},
                      UrlCase{"C:\\Program Files\\App\\", "file://C|/Program%20Files/App/"},
                      UrlCase{"/opt/caf\xc3\xa9/kw/", "file:///opt/caf"}, UrlCase{"", "file://"}));

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
