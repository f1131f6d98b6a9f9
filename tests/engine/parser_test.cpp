// Request line, status line and header block parsing, each case fed whole and cut into single
// bytes (the result must not depend on how the stream arrives), plus the limits of lines,
// names and values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/http_message.h"
#include "fed_message.h"

namespace kw {
namespace {

using test::FedMessage;

// Both ways a stream can arrive: whole, and one byte per receive.
std::vector<std::vector<std::string>> deliveries(const std::string& text) {
  return {{text}, FedMessage::cut(text, 1)};
}

// A case that must be rejected: every expectation but the result stays empty.
template <typename Case>
Case rejected(const char* name, std::string input) {
  Case c{};
  c.name = name;
  c.input = std::move(input);
  return c;
}

struct RequestCase {
  const char* name;
  std::string input;
  int ok;
  int method_len, scheme_len, host_len, port, port_len, path_len, query_len, fragment_len;
  int major, minor;
  const char* path;  // the terminated text from `path` on
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class RequestLineTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestLineTest, Parses) {
  const RequestCase& c = GetParam();
  for (const auto& pieces : deliveries(c.input)) {
    FedMessage fed(pieces);
    ASSERT_GT(read_line(&fed.msg, fed.line, kLineBufferSize), 0);
    ASSERT_EQ(parse_request_line(&fed.msg), c.ok);
    if (!c.ok) continue;
    const RequestLine& r = fed.request;
    EXPECT_EQ(r.method_len, c.method_len);
    EXPECT_EQ(r.scheme_len, c.scheme_len);
    EXPECT_EQ(r.host_len, c.host_len);
    EXPECT_EQ(r.port, c.port);
    EXPECT_EQ(r.port_len, c.port_len);
    EXPECT_EQ(r.path_len, c.path_len);
    EXPECT_EQ(r.query_len, c.query_len);
    EXPECT_EQ(r.fragment_len, c.fragment_len);
    EXPECT_EQ(r.major, c.major);
    EXPECT_EQ(r.minor, c.minor);
    EXPECT_STREQ(r.path, c.path);
    EXPECT_EQ(r.query != nullptr, c.query_len > 0);
    EXPECT_EQ(r.fragment != nullptr, c.fragment_len > 0);
    EXPECT_EQ(r.port_text != nullptr, c.port_len > 0);
  }
}

const RequestCase kRequestCases[] = {
    {"Plain", "GET http://www.example.com/ HTTP/1.0\r\n", 1, 3, 5, 15, 80, 0, 1, 0, 0, 1, 0, "/"},
    {"PortQueryHashInQuery", "GET http://h:8080/a?b=c#d HTTP/1.1\r\n", 1, 3, 5, 1, 8080, 5, 2, 6, 0,
     1, 1, "/a?b=c#d"},
    {"Fragment", "GET http://h/a#top HTTP/1.0\r\n", 1, 3, 5, 1, 80, 0, 2, 0, 4, 1, 0, "/a#top"},
    {"PortWrapsIn16Bits", "GET http://h:70000/ HTTP/1.0\r\n", 1, 3, 5, 1, 4464, 6, 1, 0, 0, 1, 0,
     "/"},
    {"NoVersionIsHttp09", "GET http://h/x\r\n", 1, 3, 5, 1, 80, 0, 2, 0, 0, 0, 9, "/x"},
    {"ManySlashesAndOtherScheme", "POST  ftp:////h/x HTTP/1.1\r\n", 1, 4, 4, 1, 80, 0, 2, 0, 0, 1,
     1, "/x"},
    {"MajorWrapsIn8Bits", "GET http://h/ HTTP/300.2\r\n", 1, 3, 5, 1, 80, 0, 1, 0, 0, 44, 2, "/"},
    {"LowercaseVersionIsHttp09", "GET http://h/ http/1.0\r\n", 1, 3, 5, 1, 80, 0, 1, 0, 0, 0, 9,
     "/"},
    {"EmptyHost", "GET http::8/p HTTP/1.0\r\n", 1, 3, 5, 0, 8, 2, 2, 0, 0, 1, 0, "/p"},
    rejected<RequestCase>("SlashesSkippedToHostOnlyRejected", "GET http:///p HTTP/1.0\r\n"),
    rejected<RequestCase>("HostOnlyRejected", "GET http://host HTTP/1.0\r\n"),
    rejected<RequestCase>("HostAndPortOnlyRejected", "GET http://host:81 HTTP/1.0\r\n"),
    rejected<RequestCase>("OriginFormRejected", "GET /index.html HTTP/1.0\r\n"),
    rejected<RequestCase>("AuthorityFormRejected", "CONNECT host:443 HTTP/1.1\r\n"),
    rejected<RequestCase>("VersionWithoutDotRejected", "GET http://h/ HTTP/1\r\n"),
    rejected<RequestCase>("PathToEndOfTextRejected", "GET http://h/x"),
    rejected<RequestCase>("HighByteEndsHostRejected", "GET http://h\xc3\xa9/ HTTP/1.0\r\n")};

INSTANTIATE_TEST_SUITE_P(Table, RequestLineTest, ::testing::ValuesIn(kRequestCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A line of 2045 characters is whole; one of 2046 is cut, and the cut path reaches the end of
// the text. The rest of a cut line is what the next read returns.
TEST(RequestLineLimits, LongestLineIsWholeLongerIsCut) {
  const std::string start = "GET http://h/";
  for (int length : {2045, 2046}) {
    std::string line = start + std::string(length - start.size(), 'a');
    FedMessage fed({line + "\r\n"});
    EXPECT_EQ(read_line(&fed.msg, fed.line, kLineBufferSize), length == 2045 ? 2047 : 2045);
    EXPECT_EQ(parse_request_line(&fed.msg), length == 2045 ? 1 : 0) << length;
    EXPECT_EQ(read_line(&fed.msg, fed.line, kLineBufferSize), length == 2045 ? 0 : 3);
  }
}

TEST(ReadLine, SmallBuffersAndEmptyLines) {
  FedMessage fed({"abcdef\r\n\r\n\r\r"});
  char out[8];
  EXPECT_EQ(read_line(&fed.msg, out, 0), 0);
  EXPECT_EQ(read_line(&fed.msg, out, 6), 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(read_line(&fed.msg, out, sizeof out), 5);
  EXPECT_STREQ(out, "def\r\n");
  EXPECT_EQ(read_line(&fed.msg, out, sizeof out), 2);  // CR LF
  EXPECT_EQ(read_line(&fed.msg, out, sizeof out), 2);  // CR
  EXPECT_EQ(read_line(&fed.msg, out, sizeof out), 2);  // CR, then the stream ends
  EXPECT_EQ(read_line(&fed.msg, out, sizeof out), 0);
}

struct StatusCase {
  const char* name;
  std::string input;
  int ok;
  int major, minor;
  const char* code;
  const char* reason;
  const char* rest;  // what is left unread: the body
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusLineTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusLineTest, Parses) {
  const StatusCase& c = GetParam();
  for (const auto& pieces : deliveries(c.input)) {
    FedMessage fed(pieces);
    ASSERT_EQ(parse_status_line(&fed.msg), c.ok) << pieces.size() << " pieces";
    if (!c.ok) continue;
    EXPECT_EQ(fed.status.major, c.major);
    EXPECT_EQ(fed.status.minor, c.minor);
    EXPECT_STREQ(fed.status.code, c.code);
    EXPECT_STREQ(fed.status.reason, c.reason);
    EXPECT_EQ(fed.rest(), c.rest);
  }
}

const StatusCase kStatusCases[] = {
    {"Ok", "HTTP/1.0 200 OK\r\nbody", 1, 1, 0, "200", "OK", "body"},
    {"ReasonKeepsInnerSpaces", "HTTP/1.1 404 Not Found\r\n", 1, 1, 1, "404", "Not Found", ""},
    {"LfOnly", "HTTP/1.1 302 Moved\nX", 1, 1, 1, "302", "Moved", "X"},
    {"HighByteEndsReason", "HTTP/1.0 200 Caf\xc3\xa9!\r\n", 1, 1, 0, "200", "Caf", ""},
    {"EmptyCode", "HTTP/1.0 OK\r\n", 1, 1, 0, "", "OK", ""},
    rejected<StatusCase>("NoReasonRejected", "HTTP/1.0 200\r\n"),
    rejected<StatusCase>("NoCodeNoReasonRejected", "HTTP/1.0\r\n"),
    rejected<StatusCase>("VersionWithoutDotRejected", "HTTP/x.1 200 OK\r\n"),
    rejected<StatusCase>("EmptyReplyRejected", ""),
    {"Http09Body", "<html>hi</html>", 1, 0, 9, "200", "HTTP/0.9", "<html>hi</html>"},
    {"ShortBodyIsHttp09", "HTT", 1, 0, 9, "200", "HTTP/0.9", "HTT"},
    {"LowercaseIsHttp09", "http/1.0 200 OK\r\n", 1, 0, 9, "200", "HTTP/0.9",
     "http/1.0 200 OK\r\n"}};

INSTANTIATE_TEST_SUITE_P(Table, StatusLineTest, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StatusLineLimits, Http09RecordUsesThirteenBytes) {
  FedMessage fed({"plain"});
  ASSERT_EQ(parse_status_line(&fed.msg), 1);
  EXPECT_EQ(fed.status.text_len, 13);
}

TEST(StatusLineLimits, OverlongCodeAndReasonAreCutToTheRecord) {
  FedMessage fed({"HTTP/1.0 " + std::string(300, '7') + " " + std::string(300, 'r') + "\r\n"});
  ASSERT_EQ(parse_status_line(&fed.msg), 1);
  EXPECT_EQ(std::string(fed.status.code), std::string(127, '7'));
  EXPECT_STREQ(fed.status.reason, "");
  EXPECT_LE(fed.status.text_len, 128);
}

struct HeaderCase {
  const char* name;
  std::string input;
  int ok;
  std::vector<std::pair<std::string, std::string>> headers;
  const char* rest;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class HeaderBlockTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderBlockTest, Parses) {
  const HeaderCase& c = GetParam();
  for (const auto& pieces : deliveries(c.input)) {
    FedMessage fed(pieces);
    ASSERT_EQ(parse_headers(&fed.msg), c.ok) << pieces.size() << " pieces";
    if (!c.ok) continue;
    std::vector<std::pair<std::string, std::string>> got;
    for (HeaderField* h = fed.msg.headers; h; h = h->next) {
      got.emplace_back(h->name, h->value);
      EXPECT_EQ(h->value_capacity, static_cast<int>(std::string(h->value).size()) + 1);
    }
    EXPECT_EQ(got, c.headers);
    EXPECT_EQ(fed.rest(), c.rest);
  }
}

const std::string kName39(39, 'N');

const HeaderCase kHeaderCases[] = {
    {"Ordered", "A: 1\r\nB: two words\r\n\r\nbody", 1, {{"A", "1"}, {"B", "two words"}}, "body"},
    {"Continuation", "X-A: one\r\n two\r\n\r\n", 1, {{"X-A", "one two"}}, ""},
    {"BlankContinuationAddsNothing", "X-A: one\r\n  \t\r\n\r\n", 1, {{"X-A", "one"}}, ""},
    {"SpaceBeforeColon",
     "Content-Type : text/html\r\n\r\n",
     1,
     {{"Content-Type ", "text/html"}},
     ""},
    {"EmptyValue", "X-Empty:\r\n\r\n", 1, {{"X-Empty", ""}}, ""},
    {"BlanksTrimmed", "A:   spaced  value \t \r\n\r\n", 1, {{"A", "spaced  value"}}, ""},
    {"LfOnly", "A: 1\nB: 2\n\nX", 1, {{"A", "1"}, {"B", "2"}}, "X"},
    {"LfCr", "A: 1\n\rB: 2\n\r\n\rX", 1, {{"A", "1"}, {"B", "2"}}, "X"},
    {"CrOnly", "A: 1\rB: 2\r\rX", 1, {{"A", "1"}, {"B", "2"}}, "X"},
    {"LfOnlyToEndOfStream", "A: 1\n\n", 1, {{"A", "1"}}, ""},
    {"EmptyBlock", "\r\nbody", 1, {}, "body"},
    {"Name39", kName39 + ": v\r\n\r\n", 1, {{kName39, "v"}}, ""},
    rejected<HeaderCase>("Name40Fails", kName39 + "N: v\r\n\r\n"),
    rejected<HeaderCase>("NoColonFails", "Garbage line\r\n\r\n"),
    rejected<HeaderCase>("ControlCharInNameFails", "X\x01Y: v\r\n\r\n"),
    rejected<HeaderCase>("HighByteInNameFails", "X\xc3\xa9: v\r\n\r\n"),
    rejected<HeaderCase>("ContinuationFirstFails", " cont\r\nX: y\r\n\r\n"),
    rejected<HeaderCase>("NulFirstIsContinuationFails", std::string("\0X: y\r\n\r\n", 9)),
    rejected<HeaderCase>("EndsBeforeEmptyLineFails", "A: 1\r\n"),
    rejected<HeaderCase>("NothingFails", "")};

INSTANTIATE_TEST_SUITE_P(Table, HeaderBlockTest, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderLimits, ValueIsCutAt2047AcrossContinuations) {
  std::string block = "X: " + std::string(2000, 'a') + "\r\n " + std::string(100, 'b') + "\r\n " +
                      std::string(10, 'c') + "\r\n\r\n";
  FedMessage fed({block});
  ASSERT_EQ(parse_headers(&fed.msg), 1);
  EXPECT_EQ(std::string(fed.msg.headers->value),
            std::string(2000, 'a') + " " + std::string(46, 'b'));
}

// A header line of 2045 characters is whole. A longer one is cut after 2045: its remainder is
// read as a line of its own, here a continuation that adds nothing or a name without a colon.
TEST(HeaderLimits, OverlongLineIsCut) {
  std::string line = "X: " + std::string(2042, 'v');
  {
    FedMessage fed({line + "\r\nY: whole\r\n\r\n"});
    ASSERT_EQ(parse_headers(&fed.msg), 1);
    ASSERT_NE(fed.msg.headers->next, nullptr);
    EXPECT_STREQ(fed.msg.headers->next->value, "whole");
  }
  {
    FedMessage fed({line + " \r\nY: after\r\n\r\n"});
    ASSERT_EQ(parse_headers(&fed.msg), 1);
    EXPECT_EQ(std::string(fed.msg.headers->value), std::string(2042, 'v'));
    ASSERT_NE(fed.msg.headers->next, nullptr);
    EXPECT_STREQ(fed.msg.headers->next->value, "after");
  }
  FedMessage fed({line + "vv\r\n\r\n"});
  EXPECT_EQ(parse_headers(&fed.msg), 0);
}

TEST(HeaderLimits, BlockOfEndlessLinesFails) {
  std::string many;
  for (int i = 0; i < 999; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
  {
    FedMessage fed({many + "\r\n"});
    EXPECT_EQ(parse_headers(&fed.msg), 1);
  }
  FedMessage fed({many + "Y: 1\r\nZ: 2\r\n\r\n"});
  EXPECT_EQ(parse_headers(&fed.msg), 0);
}

TEST(HeaderList, FindAndRemoveIgnoreCaseAndTakeTheFirst) {
  FedMessage fed({"Cookie: a\r\nHost: h\r\ncookie: b\r\n\r\n"});
  ASSERT_EQ(parse_headers(&fed.msg), 1);
  EXPECT_STREQ(find_header(&fed.msg, "COOKIE")->value, "a");
  EXPECT_EQ(find_header(&fed.msg, "Cook"), nullptr);
  EXPECT_EQ(remove_header(&fed.msg, "cookie"), 1);
  EXPECT_STREQ(find_header(&fed.msg, "Cookie")->value, "b");
  EXPECT_EQ(remove_header(&fed.msg, "Host"), 1);
  EXPECT_EQ(remove_header(&fed.msg, "Host"), 0);
  EXPECT_STREQ(fed.msg.headers->name, "cookie");
  EXPECT_EQ(fed.msg.headers->next, nullptr);
  EXPECT_EQ(free_headers(&fed.msg), 1);
  EXPECT_EQ(fed.msg.headers, nullptr);
}

}  // namespace
}  // namespace kw
