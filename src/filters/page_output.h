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
#include <string>

#include "filters/match_context.h"
#include "platform/send_queue.h"

namespace kw {

inline constexpr size_t kPageOutputSize = 16384;

class PageOutput : public SendQueue<kPageOutputSize> {
 public:
  using SendQueue::SendQueue;
};

// A queue whose bytes collect in a string instead of going to a socket: a scan run on a body
// held in memory (trying a filter, the tests).
class StringOutput final : public PageOutput {
 public:
  explicit StringOutput(std::string* out) : PageOutput(kNoSocket), out_(out) {}
  // Bytes written so far.
  size_t size() {
    flush();
    return out_->size();
  }

 protected:
  bool deliver(const char* data, size_t n) override {
    out_->append(data, n);
    return true;
  }

 private:
  std::string* out_;
};

// Before the transfer waits for the server: the bytes scanned but not sent (pending start up to
// the scan position, which is the position of the match being tried) join the queue, and the
// queue goes out. False when the browser can no longer be written to.
bool flush_before_receive(MatchContext* ctx);

}  // namespace kw
