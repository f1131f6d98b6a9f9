// Moves a body from one socket to another until the sending peer closes, in pieces bigger than
// the 2048-byte receive buffers. relay_to_end calls it once the bytes already buffered in the
// message have gone out; nothing else may read `from` afterwards.
#pragma once

#include <cstdint>

#include "platform/net.h"

namespace kw {

// Bytes moved when the peer of `from` closed; -1 when a receive failed or a send failed.
int64_t bulk_relay(Socket from, Socket to);

}  // namespace kw
