// The shipped default.cfg: it loads, every filter in it compiles, it is in the writer's own
// form, and each filter, run through the real proxy and page filter stream, changes its sample
// page as intended and leaves an ordinary page alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config_state.h"
#include "filters/page_reference.h"
#include "support/memory_scan.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;

const std::string kOrdinaryPage =
    "<!DOCTYPE html>\n<html><head><title>Ordinary</title>\n"
    "<meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\">\n"
    "<meta http-equiv=\"refresh\" content=\"0; url=/moved\">\n"
    "<link rel=\"stylesheet\" href=\"/style.css\">\n"
    "<script src=\"/js/app.js\"></script>\n"
    "<script>function open_menu() { return document.open(); } var w = 'window.opener';</script>\n"
    "</head><body><h1>Hello</h1>\n"
    "<img src=\"/logo.png\" width=\"120\" height=\"40\" alt=\"logo\">"
    "<img src=\"/icon.png\" width=\"16\" height=\"16\"><img src=\"/rule.png\" width=\"1\" "
    "height=\"300\">\n"
    "<p>A marquee-like headline, <b>bold</b> and <i>blinking</i> lights.</p>\n"
    "<iframe src=\"https://video.example/embed/x\"></iframe>\n"
    "</body></html>\n";

struct FilterCase {
  const char* name;  // the shipped filter's name
  std::string sample;
  std::string expected;
};

const FilterCase kShippedFilters[] = {
    {"Tracker scripts",
     "<p>a</p><script async src=\"https://www.googletagmanager.com/gtag/js?id=G-1\"></script>"
     "<script src=\"/app.js\"></script>"
     "<script>(function(){var s=document.createElement('script');"
     "s.src='https://www.google-analytics.com/analytics.js';})();</script>"
     "<SCRIPT type=\"text/javascript\" src='//connect.facebook.net/en_US/sdk.js'></SCRIPT><p>b</p>",
     "<p>a</p><script src=\"/app.js\"></script><p>b</p>"},
    {"Ad and tracker frames",
     "<iframe src=\"https://ad.doubleclick.net/x\" width=300></iframe>"
     "<iframe src=\"/video\"></iframe>",
     "<iframe src=\"/video\"></iframe>"},
    {"1x1 tracking images",
     "<img src=\"t.gif\" width=\"1\" height=\"1\"><img src=\"logo.png\" width=\"120\" "
     "height=\"40\"><img height=1 width=0 src=x.gif><img src=p width='1px' height='1px' />",
     "<img src=\"logo.png\" width=\"120\" height=\"40\">"},
    {"Blink and marquee tags (the text stays)",
     "<blink>Hot!</blink> <MARQUEE behavior=\"scroll\">News</MARQUEE> <blinker>x</blinker>",
     "Hot! News <blinker>x</blinker>"},
    {"Auto-refresh meta tags (redirects without delay stay)",
     "<meta http-equiv=\"refresh\" content=\"30\"><meta http-equiv=\"refresh\" content=\"0; "
     "url=/next\"><meta content='10; url=/later' http-equiv='Refresh'>"
     "<META HTTP-EQUIV=REFRESH CONTENT=\"5;URL=/x\">",
     "<meta http-equiv=\"refresh\" content=\"0; url=/next\">"},
    {"Pop-up windows (window.open does nothing)",
     "<a onclick=\"window.open('/ad')\">x</a><script>w = window.open (\"/p\", \"n\");</script>",
     "<a onclick=\"(function(){return null})('/ad')\">x</a>"
     "<script>w = (function(){return null})(\"/p\", \"n\");</script>"},
};

// The shipped configuration behind a running proxy.
class ShippedConfiguration : public test::ProxyTest {
 protected:
  void SetUp() override {
    test::ProxyTest::SetUp();
    test::reset_configuration();
    ASSERT_EQ(load_config(default_config_path().c_str()), 1);
  }
  void TearDown() override {
    test::ProxyTest::TearDown();
    test::reset_configuration();
  }

  // The body the browser receives for an HTML page.
  std::string fetch_page(const std::string& body) {
    OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body);
    const std::string reply = get(origin, "/page.html");
    const size_t head_end = reply.find("\r\n\r\n");
    return head_end == std::string::npos ? "(no reply head)" : reply.substr(head_end + 4);
  }
};

// It loads without a word (a filter that does not compile would be named), in the writer's own
// form, its filters in the order of the samples. With all of them on, the page scan gives what
// the plain interpreter gives on every page, cut into two receives at every byte. Through the
// proxy each filter alone changes its sample as intended and leaves the ordinary page alone;
// requests go out without Accept-Encoding and with the common User-Agent.
TEST_F(ShippedConfiguration, LoadsCleanAndFiltersAsIntendedAtEveryCutAndThroughTheProxy) {
  EXPECT_TRUE(lines_starting("R").empty() && frontend_.errors().empty());
  EXPECT_EQ(config_file_text(), test::read_file(default_config_path()));
  std::vector<const WebFilter*> filters;
  for (WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    ASSERT_LT(filters.size(), std::size(kShippedFilters));
    ASSERT_STREQ(f->name.get(), kShippedFilters[filters.size()].name);
    f->flags |= FILTER_ACTIVE;
    filters.push_back(f);
  }
  ASSERT_EQ(filters.size(), std::size(kShippedFilters));
  std::vector<std::string> bodies{kOrdinaryPage};
  for (const FilterCase& c : kShippedFilters) bodies.push_back(c.sample + kOrdinaryPage);
  EXPECT_EQ(test::reference_scan(filters, kOrdinaryPage), kOrdinaryPage);
  for (const std::string& body : bodies) {
    const std::string expected = test::reference_scan(filters, body);
    for (size_t cut = 0; cut <= body.size(); ++cut)
      ASSERT_EQ(test::scan_in_memory(filters, body, cut, true), expected) << "cut " << cut;
  }

  for (const FilterCase& c : kShippedFilters) {
    SCOPED_TRACE(c.name);
    for (WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
      const bool chosen = f->name.get() == std::string(c.name);
      f->flags = chosen ? f->flags | FILTER_ACTIVE : f->flags & ~FILTER_ACTIVE;
    }
    EXPECT_EQ(fetch_page(c.sample), c.expected);
    EXPECT_EQ(fetch_page(kOrdinaryPage), kOrdinaryPage);
  }

  OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nok");
  test::exchange(port_, "GET " + origin.url("/a") +
                            " HTTP/1.1\r\nAccept-Encoding: gzip, br\r\nUser-Agent: curl/8.0\r\n"
                            "Accept: */*\r\n\r\n");
  test::exchange(port_, "GET " + origin.url("/b") + " HTTP/1.0\r\nAccept: */*\r\n\r\n");
  ASSERT_TRUE(origin.wait_for_requests(2));
  const std::string agent = std::string("User-Agent: ") + header_filter_list->next->replace.get();
  EXPECT_EQ(origin.requests()[0], "GET /a HTTP/1.0\r\n" + agent + "\r\nAccept: */*\r\n\r\n");
  EXPECT_EQ(origin.requests()[1], "GET /b HTTP/1.0\r\nAccept: */*\r\n" + agent + "\r\n\r\n");
}

}  // namespace
}  // namespace kw
