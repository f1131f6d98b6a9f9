// The remote proxy list, its parser and the retired list; see proxy_list.h. The retired list
// has its own mutex so that retiring never depends on which thread frees.
#include "proxies/proxy_list.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>

#include "base/decimal.h"

namespace kw {

ProxyEntry* proxy_list = nullptr;
std::atomic<ProxyEntry*> current_proxy{nullptr};

namespace {

// Something dropped that a connection may still read: an entry (with its host text) or a bare
// host text replaced by a re-parse.
struct Retired {
  ProxyEntry* entry;
  char* host;
  Retired* next;
};

std::mutex retired_mutex;
Retired* retired = nullptr;  // guarded by retired_mutex

void retire(ProxyEntry* entry, char* host) {
  Retired* node = new (std::nothrow) Retired{entry, host, nullptr};
  // Without memory for the node the memory is simply never freed, which is always safe.
  if (node == nullptr) return;
  std::lock_guard lock(retired_mutex);
  node->next = retired;
  retired = node;
}

}  // namespace

ProxyEntry* parse_proxy_entry(ProxyEntry* entry, const char* text) {
  const char* colon = std::strchr(text, ':');
  const size_t host_length =
      colon != nullptr ? static_cast<size_t>(colon - text) : std::strlen(text);
  char* host = new (std::nothrow) char[host_length + 1];
  if (host == nullptr) return nullptr;
  std::memcpy(host, text, host_length);
  host[host_length] = '\0';
  const int32_t port = colon != nullptr ? read_config_decimal(colon + 1) : kDefaultProxyPort;

  if (entry == nullptr) {
    entry = new (std::nothrow) ProxyEntry{0, host, port, 0, proxy_list};
    if (entry == nullptr) {
      delete[] host;
      return nullptr;
    }
    proxy_list = entry;
    return entry;
  }
  // In place: the host first, the cache last, so a connection that looked the old host up
  // either stores its address before the cache is cleared or sees the new host and drops it
  // (proxy_cache_address).
  char* old_host = std::atomic_ref<char*>(entry->host).exchange(host);
  std::atomic_ref<int32_t>(entry->port).store(port);
  std::atomic_ref<uint32_t>(entry->resolved_address).store(0);
  retire(nullptr, old_host);
  return entry;
}

void clear_proxy_list() {
  ProxyEntry* entry = proxy_list;
  proxy_list = nullptr;
  current_proxy.store(nullptr);
  while (entry != nullptr) {
    ProxyEntry* next = entry->next;
    retire_proxy_entry(entry);
    entry = next;
  }
}

void retire_proxy_entry(ProxyEntry* entry) { retire(entry, nullptr); }

void free_retired_proxies() {
  Retired* node;
  {
    std::lock_guard lock(retired_mutex);
    node = retired;
    retired = nullptr;
  }
  while (node != nullptr) {
    Retired* next = node->next;
    if (node->entry != nullptr) {
      delete[] node->entry->host;
      delete node->entry;
    }
    delete[] node->host;
    delete node;
    node = next;
  }
}

int retired_proxy_count() {
  std::lock_guard lock(retired_mutex);
  int n = 0;
  for (Retired* node = retired; node != nullptr; node = node->next) ++n;
  return n;
}

const char* proxy_host(ProxyEntry* entry) { return std::atomic_ref<char*>(entry->host).load(); }

int32_t proxy_port(ProxyEntry* entry) { return std::atomic_ref<int32_t>(entry->port).load(); }

uint32_t proxy_cached_address(ProxyEntry* entry) {
  return std::atomic_ref<uint32_t>(entry->resolved_address).load();
}

void proxy_cache_address(ProxyEntry* entry, const char* host, uint32_t address) {
  std::atomic_ref<uint32_t> cache(entry->resolved_address);
  uint32_t empty = 0;
  if (!cache.compare_exchange_strong(empty, address)) return;
  // A re-parse stores the new host before it clears the cache: if the host is still the one
  // looked up, any later re-parse will clear this address itself.
  if (proxy_host(entry) != host) cache.compare_exchange_strong(address, 0);
}

}  // namespace kw
