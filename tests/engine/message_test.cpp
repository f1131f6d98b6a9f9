// Reading HTTP messages: request lines, status lines and header blocks, each case fed whole and
// cut into single bytes (the result must not depend on how the stream arrives), the limits of
// lines, names and values. Then how a reply's body travels, decided from what was read.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "engine/forwarding.h"
#include "fed_message.h"
#include "http/http_message.h"

namespace kw {
namespace {

using test::FedMessage;

// Both ways a stream can arrive: whole, and one byte per receive.
std::vector<std::vector<std::string>> deliveries(const std::string& text) {
  return {{text}, FedMessage::cut(text, 1)};
}

// The parsed fields as "method|scheme|host|port text|path|query|fragment|port|version", each
// a slice of the record.
std::string describe(const RequestLine& r) {
  auto slice = [](const char* at, int len) { return at ? std::string(at, len) : std::string(); };
  return slice(r.method, r.method_len) + "|" + slice(r.url, r.scheme_len) + "|" +
         slice(r.host, r.host_len) + "|" + slice(r.port_text, r.port_len) + "|" +
         slice(r.path, r.path_len) + "|" + slice(r.query, r.query_len) + "|" +
         slice(r.fragment, r.fragment_len) + "|" + std::to_string(r.port) + "|" +
         std::to_string(r.major) + "." + std::to_string(r.minor);
}

// Empty fields: the line is rejected.
TEST(RequestLine, ParsesWholeAndInSingleBytes) {
  const std::pair<const char*, const char*> cases[] = {
      {"GET http://www.example.com/ HTTP/1.0\r\n", "GET|http:|www.example.com||/|||80|1.0"},
      {"GET http://h:8080/a?b=c#d HTTP/1.1\r\n", "GET|http:|h|:8080|/a|?b=c#d||8080|1.1"},
      {"GET http://h/a#top HTTP/1.0\r\n", "GET|http:|h||/a||#top|80|1.0"},
      {"GET http://h:70000/ HTTP/1.0\r\n", "GET|http:|h|:70000|/|||4464|1.0"},
      {"GET http://h/x\r\n", "GET|http:|h||/x|||80|0.9"},
      {"POST  ftp:////h/x HTTP/1.1\r\n", "POST|ftp:|h||/x|||80|1.1"},
      {"GET http://h/ HTTP/300.2\r\n", "GET|http:|h||/|||80|44.2"},
      {"GET http://h/ http/1.0\r\n", "GET|http:|h||/|||80|0.9"},
      {"GET http::8/p HTTP/1.0\r\n", "GET|http:||:8|/p|||8|1.0"},
      {"GET http:///p HTTP/1.0\r\n", ""},        {"GET http://host HTTP/1.0\r\n", ""},
      {"GET http://host:81 HTTP/1.0\r\n", ""},   {"GET /index.html HTTP/1.0\r\n", ""},
      {"CONNECT host:443 HTTP/1.1\r\n", ""},     {"GET http://h/ HTTP/1\r\n", ""},
      {"GET http://h/x", ""},                    {"GET http://h\xc3\xa9/ HTTP/1.0\r\n", ""}};
  for (const auto& [input, fields] : cases) {
    for (const auto& pieces : deliveries(input)) {
      SCOPED_TRACE(std::string(input) + " in " + std::to_string(pieces.size()) + " pieces");
      FedMessage fed(pieces);
      ASSERT_GT(read_line(&fed.msg, fed.line, kLineBufferSize), 0);
      ASSERT_EQ(parse_request_line(&fed.msg), *fields ? 1 : 0);
      if (!*fields) continue;
      EXPECT_EQ(describe(fed.request), fields);
      EXPECT_EQ(*fed.request.url_end, '\0') << "host and path read as texts to the URL's end";
    }
  }
}

// "version|code|reason|unread rest" of a parsed status line; empty when it is rejected. A code
// too long for the record is cut and leaves no room for the reason.
TEST(StatusLine, ParsesWholeAndInSingleBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"HTTP/1.0 200 OK\r\nbody", "1.0|200|OK|body"},
      {"HTTP/1.1 404 Not Found\r\n", "1.1|404|Not Found|"},
      {"HTTP/1.1 302 Moved\nX", "1.1|302|Moved|X"},
      {"HTTP/1.0 200 Caf\xc3\xa9!\r\n", "1.0|200|Caf|"},
      {"HTTP/1.0 OK\r\n", "1.0||OK|"},
      {"HTTP/1.0 " + std::string(300, '7') + " " + std::string(300, 'r') + "\r\n",
       "1.0|" + std::string(127, '7') + "||"},
      {"HTTP/1.0 200\r\n", ""}, {"HTTP/1.0\r\n", ""}, {"HTTP/x.1 200 OK\r\n", ""}, {"", ""},
      {"<html>hi</html>", "0.9|200|HTTP/0.9|<html>hi</html>"}, {"HTT", "0.9|200|HTTP/0.9|HTT"},
      {"http/1.0 200 OK\r\n", "0.9|200|HTTP/0.9|http/1.0 200 OK\r\n"}};
  for (const auto& [input, fields] : cases) {
    for (const auto& pieces : deliveries(input)) {
      SCOPED_TRACE(input.substr(0, 40) + " in " + std::to_string(pieces.size()) + " pieces");
      FedMessage fed(pieces);
      ASSERT_EQ(parse_status_line(&fed.msg), fields.empty() ? 0 : 1);
      if (fields.empty()) continue;
      const StatusLine& s = fed.status;
      EXPECT_LE(s.text_len, 128);
      EXPECT_EQ(std::to_string(s.major) + "." + std::to_string(s.minor) + "|" + s.code + "|" +
                    s.reason + "|" + fed.rest(),
                fields);
    }
  }
}

// "name=value;" for each field, then "|" and what is left unread; empty when the block fails.
TEST(HeaderBlock, ParsesWholeAndInSingleBytes) {
  const std::string name39(39, 'N');
  const std::pair<std::string, std::string> cases[] = {
      {"A: 1\r\nB: two words\r\n\r\nbody", "A=1;B=two words;|body"},
      {"X-A: one\r\n two\r\n\r\n", "X-A=one two;|"},
      {"X-A: one\r\n  \t\r\n\r\n", "X-A=one;|"},
      {"Content-Type : text/html\r\n\r\n", "Content-Type =text/html;|"},
      {"X-Empty:\r\n\r\n", "X-Empty=;|"}, {"A:   spaced  value \t \r\n\r\n", "A=spaced  value;|"},
      {"A: 1\nB: 2\n\nX", "A=1;B=2;|X"},  {"A: 1\n\rB: 2\n\r\n\rX", "A=1;B=2;|X"},
      {"A: 1\rB: 2\r\rX", "A=1;B=2;|X"},  {"\r\nbody", "|body"},
      {name39 + ": v\r\n\r\n", name39 + "=v;|"}, {name39 + "N: v\r\n\r\n", ""},
      {"Garbage line\r\n\r\n", ""}, {"X\x01Y: v\r\n\r\n", ""}, {"X\xc3\xa9: v\r\n\r\n", ""},
      {" cont\r\nX: y\r\n\r\n", ""}, {std::string("\0X: y\r\n\r\n", 9), ""}, {"A: 1\r\n", ""},
      {"", ""}};
  for (const auto& [input, fields] : cases) {
    for (const auto& pieces : deliveries(input)) {
      SCOPED_TRACE(input + " in " + std::to_string(pieces.size()) + " pieces");
      FedMessage fed(pieces);
      ASSERT_EQ(parse_headers(&fed.msg), fields.empty() ? 0 : 1);
      if (fields.empty()) continue;
      std::string got;
      for (HeaderField* h = fed.msg.headers; h; h = h->next) {
        got += std::string(h->name) + "=" + h->value + ";";
        EXPECT_EQ(h->value_capacity, static_cast<int>(std::string(h->value).size()) + 1);
      }
      EXPECT_EQ(got + "|" + fed.rest(), fields);
    }
  }
}

// A value is cut at 2047 characters across its continuation lines. A header line of 2045
// characters is whole; a longer one is cut after 2045 and its remainder read as a line of its
// own: here a continuation that adds nothing, or a name without a colon that fails the block,
// as a block of endless lines does.
TEST(HeaderBlock, LongValuesLinesAndBlocks) {
  FedMessage continued({"X: " + std::string(2000, 'a') + "\r\n " + std::string(100, 'b') + "\r\n " +
                        std::string(10, 'c') + "\r\n\r\n"});
  ASSERT_EQ(parse_headers(&continued.msg), 1);
  EXPECT_EQ(std::string(continued.msg.headers->value),
            std::string(2000, 'a') + " " + std::string(46, 'b'));

  const std::string line = "X: " + std::string(2042, 'v');
  for (const std::string& first : {line, line + " "}) {
    FedMessage fed({first + "\r\nY: next\r\n\r\n"});
    ASSERT_EQ(parse_headers(&fed.msg), 1) << first.size();
    EXPECT_EQ(std::string(fed.msg.headers->value), std::string(2042, 'v'));
    ASSERT_NE(fed.msg.headers->next, nullptr);
    EXPECT_STREQ(fed.msg.headers->next->value, "next");
  }
  std::string many;
  for (int i = 0; i < 999; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
  const std::pair<std::string, int> blocks[] = {
      {line + "vv\r\n\r\n", 0}, {many + "\r\n", 1}, {many + "Y: 1\r\nZ: 2\r\n\r\n", 0}};
  for (const auto& [block, result] : blocks) {
    FedMessage fed({block});
    EXPECT_EQ(parse_headers(&fed.msg), result) << block.size();
  }
}

// Which relay a reply gets; a reply that may be changed loses its Content-Length. Statuses
// and Transfer-Encoding are checked end to end by the page filter tests.
TEST(RelayMode, FollowsTheTypeAndTheFlags) {
  constexpr uint32_t kAll = kLoadDefaultFlags;
  using enum RelayMode;
  const std::tuple<uint32_t, const char*, RelayMode> cases[] = {
      {kAll, "text/html; charset=utf-8", kFilter},      {kAll, "TEXT/HTML", kFilter},
      {kAll, "multipart/x-mixed-replace;b=x", kFilter}, {kAll & ~FilterHTML, "text/html", kPlain},
      {kAll & ~Enable, "text/html", kPlain},           {kAll, "image/gif", kGif},
      {kAll, "image/GIF", kPlain},                     {kAll, "image/gif; x=1", kPlain},
      {kAll, "text/plain", kPlain},                    {kAll, nullptr, kPlain}};
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

}  // namespace
}  // namespace kw
