// The remote proxy list: parsing entry texts, re-parsing an entry in place, and the list
// changing under running connections (the sanitizer build proves that no connection reads an
// entry or a host text after it was freed).
#include "proxies/proxy_list.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

// Empties the list and frees what it held; no connection runs in these tests.
void empty_list() {
  clear_proxy_list();
  free_retired_proxies();
}

TEST(ProxyList, EntryTextsGiveHostAndPort) {
  const std::tuple<const char*, const char*, int32_t> cases[] = {
      {"proxy.example:3128", "proxy.example", 3128},
      {"proxy.example", "proxy.example", 8080},
      {"proxy.example:abc", "proxy.example", 0},
      {"", "", 8080},
      {"h: \t12x", "h", 12},
      {"h:-5", "h", -5},
      {"a:1:2", "a", 1},
      {"h:99999999999999", "h", INT32_MAX}};
  for (const auto& [text, host, port] : cases) {
    ProxyEntry* entry = parse_proxy_entry(nullptr, text);
    ASSERT_NE(entry, nullptr) << text;
    EXPECT_STREQ(entry->host, host) << text;
    EXPECT_EQ(entry->port, port) << text;
  }
  empty_list();
}

// New entries go to the front; re-parsing keeps the entry and its place, and the old host text
// stays readable until no connection can hold it; clearing retires every entry.
TEST(ProxyList, ReparsingInPlaceAndClearingRetireWhatConnectionsMayHold) {
  ProxyEntry* a = parse_proxy_entry(nullptr, "a:1");
  ProxyEntry* b = parse_proxy_entry(nullptr, "b:2");
  EXPECT_EQ(proxy_list, b);
  EXPECT_EQ(b->next, a);
  EXPECT_EQ(a->next, nullptr);
  b->resolved_address = htonl(INADDR_LOOPBACK);
  const char* old_host = b->host;
  ASSERT_EQ(parse_proxy_entry(b, "c"), b);
  EXPECT_EQ(proxy_list, b);
  EXPECT_EQ(b->next, a);
  EXPECT_STREQ(b->host, "c");
  EXPECT_EQ(b->port, 8080);
  EXPECT_EQ(b->resolved_address, 0u);
  EXPECT_STREQ(old_host, "b");
  EXPECT_EQ(retired_proxy_count(), 1);

  current_proxy.store(a);
  clear_proxy_list();
  EXPECT_EQ(proxy_list, nullptr);
  EXPECT_EQ(current_proxy.load(), nullptr);
  EXPECT_EQ(retired_proxy_count(), 3);
  free_retired_proxies();
  EXPECT_EQ(retired_proxy_count(), 0);

  // An address looked up for the host an entry had before it was re-parsed is not cached.
  ProxyEntry* entry = parse_proxy_entry(nullptr, "old:1");
  const char* looked_up = proxy_host(entry);
  parse_proxy_entry(entry, "new:1");
  proxy_cache_address(entry, looked_up, 0x01020304);
  EXPECT_EQ(proxy_cached_address(entry), 0u);
  proxy_cache_address(entry, proxy_host(entry), 0x05060708);
  EXPECT_EQ(proxy_cached_address(entry), 0x05060708u);
  // A cached address stays until the entry is parsed again.
  proxy_cache_address(entry, proxy_host(entry), 0x01010101);
  EXPECT_EQ(proxy_cached_address(entry), 0x05060708u);
  empty_list();
}

class ProxyListUnderLoad : public test::ProxyTest {
 protected:
  void TearDown() override {
    test::ProxyTest::TearDown();
    empty_list();
  }
};

TEST_F(ProxyListUnderLoad, ChangesWhileConnectionsReadTheCurrentEntry) {
  const std::string reply = "HTTP/1.0 200 OK\r\n\r\nthrough";
  test::OriginServer upstream(reply);
  const std::string entry_text = "127.0.0.1:" + std::to_string(upstream.port());
  // Direct or through the remote proxy, every request ends at the same server.
  const std::string request = "GET " + upstream.url("/") + " HTTP/1.0\r\n\r\n";
  current_proxy.store(parse_proxy_entry(nullptr, entry_text.c_str()));

  std::atomic<int> answered{0};
  std::atomic<bool> clients_done{false};
  constexpr int kClients = 3;
  constexpr int kRequestsEach = 40;
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      for (int n = 0; n < kRequestsEach; ++n) {
        if (test::exchange(port_, request) == reply) ++answered;
      }
    });
  }
  std::thread changer([&] {
    for (int round = 0; !clients_done.load(); ++round) {
      ProxyEntry* current = current_proxy.load();
      if (round % 3 == 0 || current == nullptr) {
        clear_proxy_list();
        current_proxy.store(parse_proxy_entry(nullptr, entry_text.c_str()));
      } else {
        parse_proxy_entry(current, entry_text.c_str());
      }
      std::this_thread::yield();
    }
  });
  for (std::thread& t : clients) t.join();
  clients_done.store(true);
  changer.join();

  EXPECT_EQ(answered.load(), kClients * kRequestsEach);
  EXPECT_GT(retired_proxy_count(), 0);
  EXPECT_TRUE(wait_for_closes(kClients * kRequestsEach));
}

}  // namespace
}  // namespace kw
