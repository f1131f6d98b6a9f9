// Socket waits that give up as soon as their caller says so: each polls in short slices and
// asks keep_waiting between them, so a thread that another thread wants to stop never stays
// blocked in connect, accept or recv. Also the socket's local address and the reverse look-up
// of an address. Any thread.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/net.h"

namespace kw {

using KeepWaiting = std::function<bool()>;

// True once the socket is readable (or writable with for_write); false when keep_waiting
// said no or the poll failed.
bool net_wait_ready(Socket s, bool for_write, const KeepWaiting& keep_waiting);
// Connects as net_connect does, but gives up when keep_waiting says no. 1 or 0.
int net_connect_abortable(Socket s, uint32_t address, uint16_t port,
                          const KeepWaiting& keep_waiting);
// IPv4 address (network order) the connected socket uses on this machine. 1 or 0.
int net_local_address(Socket s, uint32_t* address);
// The name an address (network order) looks up to; 0 when it has none.
int net_reverse_lookup(uint32_t address, char* name, size_t size);

}  // namespace kw
