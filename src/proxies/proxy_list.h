// The list of remote HTTP proxies and the one that is current. Requests go through the current
// entry when the settings flag EnableProxy is set and an entry is current.
//
// Threads: the list, its entries and current_proxy are changed only by the user-interface
// thread (configuration loads, the selector). Connection threads read current_proxy and the
// entry's host, port and resolved_address without a lock, while the selector may re-parse that
// very entry in place; those fields are therefore read and written through std::atomic_ref
// (proxy_host, proxy_port and the address cache below).
//
// Lifetime: an entry or host text that a connection may still be reading is never freed where
// it is dropped. clear_proxy_list and a re-parse in place hand the old memory to a retired list,
// and free_retired_proxies frees it at a point where no connection can hold it: with the
// connection lock held and no connection active (a configuration load), or at shutdown.
#pragma once

#include <atomic>
#include <cstdint>

namespace kw {

// Staging marks of the proxy selector.
inline constexpr uint32_t PROXY_ADDED = 2;
inline constexpr uint32_t PROXY_REMOVED = 4;

// Port of an entry whose text names none.
inline constexpr int32_t kDefaultProxyPort = 8080;

struct ProxyEntry {
  uint32_t marks;             // PROXY_ADDED, PROXY_REMOVED; clear outside the selector
  char* host;                 // host name or dotted address, owned heap text, never null
  int32_t port;               // 8080 when the text named none
  uint32_t resolved_address;  // network order; 0 until a connection looked the host up
  ProxyEntry* next;
};

// Head of the list; new entries are pushed at the head.
extern ProxyEntry* proxy_list;
// The entry requests go through, or null.
extern std::atomic<ProxyEntry*> current_proxy;

// Sets entry from text "host[:port]": the host is everything before the first ':' (all of it
// without one), the port the signed decimal number after it (no digits give 0), 8080 without a
// ':'. With an entry, its old host text is retired and host, port and resolved_address are set
// in place; the list is not touched. With none, a new entry is pushed at the head of
// proxy_list. Returns the entry, or null when memory ran out (an existing entry then keeps its
// old text).
ProxyEntry* parse_proxy_entry(ProxyEntry* entry, const char* text);

// Empties proxy_list and current_proxy; the entries are retired, not freed.
void clear_proxy_list();

// Hands an entry that is no longer in proxy_list (the selector's removed entries) to the
// retired list together with its host text.
void retire_proxy_entry(ProxyEntry* entry);

// Frees every retired entry and host text. Only where no thread can still read one: with the
// connection lock held while no connection is active, or after the connections have ended.
void free_retired_proxies();
// How many entries and host texts wait on the retired list (tests).
int retired_proxy_count();

// The fields a connection reads while the user-interface thread may re-parse the entry.
const char* proxy_host(ProxyEntry* entry);
int32_t proxy_port(ProxyEntry* entry);
// The cached address of the entry's host, 0 when none is cached.
uint32_t proxy_cached_address(ProxyEntry* entry);
// Caches address as the look-up of `host`, the host text the caller looked up. When the entry
// was re-parsed meanwhile the address belongs to an old host and the cache is left empty.
void proxy_cache_address(ProxyEntry* entry, const char* host, uint32_t address);

}  // namespace kw
