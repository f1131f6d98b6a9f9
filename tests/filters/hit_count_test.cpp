// Hit counts through the real proxy: a web filter counts each match it replaced and each text it
// sent at a page's start or end, a header filter each field it changed, deleted or added. The
// counts must equal the filter hits the log shows, stay exact while many transfers run at once,
// and read out as kestrelwickd prints them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "filter_proxy_fixture.h"
#include "filters/filter_hits.h"
#include "support/origin_server.h"

namespace kw {
namespace {

using test::OriginServer;

uint64_t web_hits(const std::string& name) {
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    if (name == f->name.get()) return f->hits.value();
  }
  ADD_FAILURE() << "no web filter " << name;
  return 0;
}

uint64_t header_hits(const std::string& key) {
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    if (key == f->key.get()) return f->hits.value();
  }
  ADD_FAILURE() << "no header filter " << key;
  return 0;
}

class HitCounts : public test::FilterProxyTest {
 protected:
  void SetUp() override {
    test::FilterProxyTest::SetUp();
    build_web_filter(nullptr, FILTER_ACTIVE, "start", nullptr, "<start>", nullptr, 4096, "[");
    // "cat" becomes "dog", which is scanned again: the "dog" filter counts it too.
    build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "cat", nullptr, "cat", nullptr, 4096,
                     "dog");
    build_web_filter(nullptr, FILTER_ACTIVE, "dog", nullptr, "dog", nullptr, 4096, "cow");
    build_web_filter(nullptr, FILTER_ACTIVE, "never", nullptr, "zebra", nullptr, 4096, "z");
    build_web_filter(nullptr, FILTER_ACTIVE, "end", nullptr, "<end>", nullptr, 4096, "]");
    build_header_filter(nullptr, HEADER_IN, "X-Added", nullptr, "yes");
    build_header_filter(nullptr, HEADER_IN, "X-Drop", nullptr, nullptr);
    build_header_filter(nullptr, HEADER_IN, "Server", "origin", "proxy");
    build_header_filter(nullptr, HEADER_IN, "X-Missing", "x", "y");
  }
};

const std::string kReply =
    "HTTP/1.0 200 OK\r\nServer: origin\r\nX-Drop: 1\r\nContent-Type: text/html\r\n\r\n"
    "a cat, a dog, a cat.";

TEST_F(HitCounts, EqualTheFilterHitsTheLogShows) {
  OriginServer origin(kReply);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(get(origin),
              "HTTP/1.0 200 OK\r\nServer: proxy\r\nContent-Type: text/html\r\nX-Added: yes\r\n\r\n"
              "[a cow, a cow, a cow.]");
  }
  ASSERT_TRUE(wait_for_closes(3));

  // Each hit's line names the kind of hit, the connection and the filter.
  const std::string closing = lines_starting("W+++CLOSE ")[0];
  const std::string number = closing.substr(10, closing.size() - 13);
  for (const std::string line : {"V<start> ", "VMatch ", "V<end> "}) {
    const std::string name = line == "VMatch " ? "cat" : line == "V<end> " ? "end" : "start";
    EXPECT_TRUE(frontend_.has_line(line + number + ": " + name)) << line;
  }
  std::map<std::string, uint64_t> logged;
  for (const std::string& line : lines_starting("V")) logged[line.substr(line.find(": ") + 2)]++;
  for (const char* name : {"start", "cat", "dog", "never", "end"}) {
    EXPECT_EQ(web_hits(name), logged[name]) << name;
  }
  EXPECT_EQ(filter_hit_lines(),
            (std::vector<std::string>{
                R"(web filter 1 "start": 3 hits)", R"(web filter 2 "cat": 6 hits)",
                R"(web filter 3 "dog": 9 hits)", R"(web filter 4 "never": 0 hits)",
                R"(web filter 5 "end": 3 hits)", R"(header filter 1 "X-Added": 3 hits)",
                R"(header filter 2 "X-Drop": 3 hits)", R"(header filter 3 "Server": 3 hits)",
                R"(header filter 4 "X-Missing": 0 hits)"}));

  // With the filter category off the hits still count but are not logged.
  frontend_.set_category(kLogHtmlFilters, false);
  frontend_.clear();
  get(origin);
  ASSERT_TRUE(wait_for_closes(1));
  EXPECT_TRUE(lines_starting("V").empty());
  EXPECT_EQ(web_hits("end"), 4u);
}

TEST_F(HitCounts, ConcurrentTransfersCountExactly) {
  std::string body;
  for (int i = 0; i < 200; ++i) body += "cat ";
  OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body);
  constexpr int kClients = 8, kPages = 5;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < kPages; ++i) get(origin);
    });
  }
  for (std::thread& t : clients) t.join();
  ASSERT_TRUE(wait_for_closes(kClients * kPages));
  EXPECT_EQ(web_hits("cat"), uint64_t{kClients * kPages * 200});
  EXPECT_EQ(web_hits("dog"), uint64_t{kClients * kPages * 200});
  EXPECT_EQ(web_hits("end"), uint64_t{kClients * kPages});
  EXPECT_EQ(header_hits("X-Added"), uint64_t{kClients * kPages});
}

}  // namespace
}  // namespace kw
