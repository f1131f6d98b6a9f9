// Header filters: rewrite the header fields of requests (outgoing) and replies (incoming) as
// they pass. Connection threads call apply_header_filters concurrently, each on its own message.
#pragma once

#include <cstdint>

#include "engine/http_message.h"

namespace kw {

// Directions of a header filter (bits of its flags).
inline constexpr uint32_t HEADER_IN = 1;   // replies
inline constexpr uint32_t HEADER_OUT = 2;  // requests

// Applies the filters of `direction` to msg's header list in place; `browser` supplies the
// request line that replacements may quote. Returns 1.
int apply_header_filters(HttpMessage* msg, HttpMessage* browser, uint32_t direction);

}  // namespace kw
