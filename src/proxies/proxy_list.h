// The list of remote HTTP proxies and the one that is current. Requests go through the current
// entry when the settings flag EnableProxy is set and an entry is current. Connection threads
// read current_proxy without a lock (hence the atomic pointer) and store a looked-up address in
// its resolved_address (through std::atomic_ref: several threads may store the same address).
// The list itself is changed only by the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace kw {

// Staging marks of the proxy selector.
inline constexpr uint32_t PROXY_ADDED = 2;
inline constexpr uint32_t PROXY_REMOVED = 4;

struct ProxyEntry {
  uint32_t marks;             // PROXY_ADDED, PROXY_REMOVED; clear outside the selector
  char* host;                 // host name or dotted address, owned heap text
  int32_t port;               // 8080 when the text named none
  uint32_t resolved_address;  // network order; 0 until a connection looked the host up
  ProxyEntry* next;
};

// Head of the list; new entries are pushed at the head.
extern ProxyEntry* proxy_list;
// The entry requests go through, or null.
extern std::atomic<ProxyEntry*> current_proxy;

}  // namespace kw
