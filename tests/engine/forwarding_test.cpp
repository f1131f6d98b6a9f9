// Decisions of the forwarding step that need no network: reload exemptions, how a body travels,
// and the file URL of the program directory.
#include "engine/forwarding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "base/settings.h"
#include "fed_message.h"
#include "platform/program_directory.h"

namespace kw {
namespace {

using test::FedMessage;

TEST(StaticFile, ByExtension) {
  const std::pair<const char*, int> urls[] = {
      {"http://h/a.gif", 1},     {"http://h/dir/b.JPG", 1}, {"http://h/Applet.class", 1},
      {"http://h/a.gif?x=1", 0}, {"http://h/a.gif#top", 0}, {"http://h/index.html", 0},
      {"http://h/a.gi", 0},      {"http://h/a.classes", 0}, {"http://h/gif", 0},
      {"http://h/.gif/x", 0},    {"http://h/", 0}};
  for (const auto& [url, is_static] : urls) {
    FedMessage fed({std::string("GET ") + url + " HTTP/1.0\r\n"});
    ASSERT_GT(read_line(&fed.msg, fed.line, kLineBufferSize), 0);
    ASSERT_EQ(parse_request_line(&fed.msg), 1);
    EXPECT_EQ(is_static_file(&fed.request), is_static) << url;
  }
}

// Which relay a reply gets; a reply that may be changed loses its Content-Length. Statuses
// and Transfer-Encoding are checked end to end by the page filter tests.
TEST(RelayMode, FollowsTheTypeAndTheFlags) {
  constexpr uint32_t kAll = kLoadDefaultFlags;
  using enum RelayMode;
  const std::tuple<uint32_t, const char*, RelayMode> cases[] = {
      {kAll, "text/html; charset=utf-8", kFilter},
      {kAll, "TEXT/HTML", kFilter},
      {kAll, "application/x-javascript", kFilter},
      {kAll, "multipart/x-mixed-replace;b=x", kFilter},
      {kAll & ~FilterHTML, "text/html", kPlain},
      {kAll & ~Enable, "text/html", kPlain},
      {kAll, "image/gif", kGif},
      {kAll & ~FreezeGIF, "image/gif", kPlain},
      {kAll, "image/GIF", kPlain},
      {kAll, "image/gif; x=1", kPlain},
      {kAll, "text/plain", kPlain},
      {kAll, nullptr, kPlain}};
  for (const auto& [flags, type, mode] : cases) {
    SCOPED_TRACE(std::string(type ? type : "no type") + " flags " + std::to_string(flags));
    settings_set_flags(flags);
    const std::string head = type ? std::string("Content-type: ") + type + "\r\n" : "";
    FedMessage fed({"HTTP/1.0 200 OK\r\n" + head + "Content-Length: 3\r\n\r\n"});
    ASSERT_EQ(parse_status_line(&fed.msg), 1);
    ASSERT_EQ(parse_headers(&fed.msg), 1);
    EXPECT_EQ(choose_relay_mode(&fed.msg), mode);
    EXPECT_EQ(find_header(&fed.msg, "content-length") != nullptr, mode == kPlain);
  }
  settings_set_flags(kLoadDefaultFlags);
}

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

}  // namespace
}  // namespace kw
