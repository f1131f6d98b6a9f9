// Many filtered transfers at once. While the web and header filter lists are replaced under
// their use-count protocol, as the editors and a configuration load do, every page must come out
// filtered wholly by one version of the list, and, run under AddressSanitizer, no transfer may
// touch a freed record; browsers and servers that leave early must still bring both counts back
// to 0. Without replacements, the filters' hit counts stay exact and equal the logged hits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "filter_proxy_fixture.h"
#include "filters/filter_hits.h"
#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "filters/web_filter.h"
#include "support/origin_server.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;
using test::ReplyPiece;

const std::string kHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";

std::string page_body() {
  std::string body;
  for (int i = 0; i < 400; ++i) body += "<p>the cat " + std::to_string(i) + " sat</p>\n";
  return body;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Replaces a list whenever no transfer uses it; counts replacements.
struct Replacer {
  int (*lock_op)(int);
  int (*users_add)(int);
  std::atomic<int> done{0};

  void try_once(const std::string& animal, void (*install)(const std::string&)) {
    lock_op(2);
    if (users_add(0) == 0) {
      install(animal);
      done.fetch_add(1);
    }
    lock_op(3);
  }
};

// The web filters of one version: "<start>" and "cat" on /page only, "<end>" everywhere.
void install_web(const std::string& animal) {
  free_web_filters();
  build_web_filter(nullptr, FILTER_ACTIVE, "start", "127.0.0.1*/page", "<start>", nullptr, 4096,
                   ("[" + animal + "]").c_str());
  build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "animal", "127.0.0.1*/page", "cat",
                   nullptr, 4096, animal.c_str());
  build_web_filter(nullptr, FILTER_ACTIVE, "end", nullptr, "<end>", nullptr, 4096,
                   ("[/" + animal + "]").c_str());
}

void install_headers(const std::string& animal) {
  free_header_filters();
  build_header_filter(nullptr, HEADER_IN, "X-Version", nullptr, animal.c_str());
}

class FilterConcurrency : public test::FilterProxyTest {};

// Clients fetch pages on /page and on /other (a path the Url patterns leave out: only the <end>
// filter applies, and the list is released while the body is relayed), hang up mid-page, or get
// a page whose server stops after 5000 of its 99999 bytes.
TEST_F(FilterConcurrency, ListsReplacedWhileTransfersRunAndEndEarly) {
  const std::string body = page_body();
  const std::vector<std::string> animals = {"dog", "cow", "owl", "yak"};
  install_web(animals[0]);
  install_headers(animals[0]);
  // The pages come in pieces with pauses, so transfers overlap and hold the list.
  std::vector<ReplyPiece> script{{kHead + "\r\n", 0}};
  for (ReplyPiece& piece : test::split_reply(body, 3000, 2)) script.push_back(piece);
  OriginServer origin(script);
  std::vector<ReplyPiece> slow{{kHead + "\r\n", 0}};
  for (ReplyPiece& piece : test::split_reply(body, 500, 20)) slow.push_back(piece);
  OriginServer slow_origin(slow);
  OriginServer cut_origin(kHead + "Content-Length: 99999\r\n\r\n" + body.substr(0, 5000));
  // Whether a reply is what one version of both lists makes of `sent`.
  const auto one_version = [&](const std::string& reply, const std::string& sent, bool other) {
    for (const std::string& header_animal : animals) {
      for (const std::string& a : animals) {
        if (reply == kHead + "X-Version: " + header_animal + "\r\n\r\n" +
                         (other ? sent : "[" + a + "]" + replaced(sent, "cat", a)) + "[/" + a +
                         "]") {
          return true;
        }
      }
    }
    return false;
  };

  Replacer web{web_filter_lock_op, web_filter_users_add};
  Replacer headers{header_filter_lock_op, header_filter_users_add};
  std::atomic<bool> clients_done{false};
  std::atomic<int> bad{0};
  std::atomic<int> pages{0};
  std::thread replacer([&] {
    for (int round = 1; !clients_done.load(); ++round) {
      const std::string& animal = animals[static_cast<size_t>(round) % animals.size()];
      web.try_once(animal, install_web);
      headers.try_once(animal, install_headers);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&, c] {
      std::mt19937 random(static_cast<uint32_t>(c));
      for (int i = 0; i < 12; ++i) {
        if (i % 4 == 3 && c % 2 == 0) {
          test::RawClient client(port_);
          client.send("GET " + slow_origin.url("/page") + " HTTP/1.0\r\n\r\n");
          client.read_at_least(kHead.size() + 100);
          continue;  // the client closes here, long before the page is complete
        }
        const bool other = i % 4 == 2;
        const bool cut = i % 4 == 3;
        const std::string reply = get(cut ? cut_origin : origin, other ? "/other" : "/page");
        if (!one_version(reply, cut ? body.substr(0, 5000) : body, other)) bad.fetch_add(1);
        pages.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 15));
      }
    });
  }
  for (std::thread& t : clients) t.join();
  clients_done.store(true);
  replacer.join();

  EXPECT_EQ(pages.load(), 84);
  EXPECT_EQ(bad.load(), 0) << "a page was not filtered wholly by one version";
  EXPECT_GT(web.done.load(), 0);
  EXPECT_GT(headers.done.load(), 0);
  EXPECT_TRUE(test::wait_until([] { return active_connections() == 0; }, 30000));
  EXPECT_EQ(web_filter_users_add(0), 0);
  EXPECT_EQ(header_filter_users_add(0), 0);
}

// A web filter counts each match it replaced and each text it sent at a page's start or end, a
// header filter each field it changed, deleted or added; the lines read out as kestrelwickd
// prints them. With the filter category off the hits still count but are not logged. The reply
// is rewritten before its header is logged, and only by the incoming filters.
TEST_F(FilterConcurrency, HitCountsStayExactAndEqualTheLoggedHits) {
  build_web_filter(nullptr, FILTER_ACTIVE, "start", nullptr, "<start>", nullptr, 4096, "[");
  // "cat" becomes "dog", which is scanned again: the "dog" filter counts it too.
  build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "cat", nullptr, "cat", nullptr, 4096,
                   "dog");
  build_web_filter(nullptr, FILTER_ACTIVE, "dog", nullptr, "dog", nullptr, 4096, "cow");
  build_web_filter(nullptr, FILTER_ACTIVE, "never", nullptr, "zebra", nullptr, 4096, "z");
  build_web_filter(nullptr, FILTER_ACTIVE, "end", nullptr, "<end>", nullptr, 4096, "]");
  build_header_filter(nullptr, HEADER_IN, "X-Added", nullptr, "\\h\\p");
  build_header_filter(nullptr, HEADER_IN, "X-Drop", nullptr, nullptr);
  build_header_filter(nullptr, HEADER_IN, "Server", "origin", "proxy");
  build_header_filter(nullptr, HEADER_IN, "X-Missing", "x", "y");
  build_header_filter(nullptr, HEADER_OUT, "X-Out", nullptr, "o");
  std::string body;
  for (int i = 0; i < 100; ++i) body += "a cat, a dog, ";
  OriginServer origin(
      "HTTP/1.0 200 OK\r\nServer: origin\r\nX-Drop: 1\r\nContent-Type: text/html\r\n\r\n" + body);
  const std::string want =
      "HTTP/1.0 200 OK\r\nServer: proxy\r\nContent-Type: text/html\r\nX-Added: "
      "127.0.0.1/\r\n\r\n[" +
      replaced(replaced(body, "cat", "cow"), "dog", "cow") + "]";
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < 5; ++i) EXPECT_EQ(get(origin), want);
    });
  }
  for (std::thread& t : clients) t.join();
  ASSERT_TRUE(wait_for_closes(40));
  EXPECT_TRUE(frontend_.has_line("YServer: proxy"));
  EXPECT_TRUE(lines_starting("YX-Drop").empty());

  // Each hit's line names the kind of hit, the connection and the filter.
  const std::string closing = lines_starting("W+++CLOSE ")[0];
  const std::string number = closing.substr(10, closing.size() - 13);
  EXPECT_TRUE(frontend_.has_line("V<start> " + number + ": start"));
  EXPECT_TRUE(frontend_.has_line("VMatch " + number + ": cat"));
  EXPECT_TRUE(frontend_.has_line("V<end> " + number + ": end"));
  std::map<std::string, uint64_t> logged;
  for (const std::string& line : lines_starting("V")) logged[line.substr(line.find(": ") + 2)]++;
  EXPECT_EQ(logged, (std::map<std::string, uint64_t>{
                        {"start", 40}, {"cat", 4000}, {"dog", 8000}, {"end", 40}}));
  const std::vector<std::string> hit_lines = {
      R"(web filter 1 "start": 40 hits)",       R"(web filter 2 "cat": 4000 hits)",
      R"(web filter 3 "dog": 8000 hits)",       R"(web filter 4 "never": 0 hits)",
      R"(web filter 5 "end": 40 hits)",         R"(header filter 1 "X-Added": 40 hits)",
      R"(header filter 2 "X-Drop": 40 hits)",   R"(header filter 3 "Server": 40 hits)",
      R"(header filter 4 "X-Missing": 0 hits)", R"(header filter 5 "X-Out": 40 hits)"};
  EXPECT_EQ(filter_hit_lines(), hit_lines);

  frontend_.set_category(kLogHtmlFilters, false);
  frontend_.clear();
  get(origin);
  ASSERT_TRUE(wait_for_closes(1));
  EXPECT_TRUE(lines_starting("V").empty());
  EXPECT_EQ(filter_hit_lines()[4], R"(web filter 5 "end": 41 hits)");
}

}  // namespace
}  // namespace kw
