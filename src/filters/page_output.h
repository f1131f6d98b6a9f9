// Bytes on their way to the browser during one page transfer.
//
// The browser cannot tell how its bytes were grouped, only when they arrive, so the page scan
// writes everything to a send queue, flushed whenever the transfer is about to wait for
// the server (pull_input calls flush_before_receive before every receive that would wait), and
// at the end. A
// page that arrives slowly therefore still reaches the browser as it arrives. Owned by the
// transfer, on its connection thread.
#pragma once

#include <cstddef>

#include "filters/match_context.h"
#include "platform/send_queue.h"

namespace kw {

inline constexpr size_t kPageOutputSize = 16384;

class PageOutput : public SendQueue<kPageOutputSize> {
 public:
  using SendQueue::SendQueue;
};

// Before the transfer waits for the server: the bytes scanned but not sent (pending start up to
// the scan position, which is the position of the match being tried) join the queue, and the
// queue goes out. False when the browser can no longer be written to.
bool flush_before_receive(MatchContext* ctx);

}  // namespace kw
