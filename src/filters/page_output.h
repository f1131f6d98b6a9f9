// Bytes on their way to the browser during one page transfer, collected so that they leave in
// few large sends instead of one per piece.
//
// The browser cannot tell how its bytes were grouped, only when they arrive, so the page scan
// writes everything here and the queue is flushed whenever the transfer is about to wait for
// the server (pull_input calls flush_before_receive before every receive), and at the end. A
// page that arrives slowly therefore still reaches the browser as it arrives. Owned by the
// transfer, on its connection thread.
#pragma once

#include <cstddef>

#include "filters/match_context.h"
#include "platform/net.h"

namespace kw {

inline constexpr size_t kPageOutputSize = 16384;

class PageOutput {
 public:
  explicit PageOutput(Socket socket) : socket_(socket) {}
  PageOutput(const PageOutput&) = delete;
  PageOutput& operator=(const PageOutput&) = delete;

  // Queues n bytes (a piece larger than the queue goes out at once). False once a send to the
  // browser has failed; later bytes are dropped.
  bool write(const char* data, size_t n);
  // Sends everything queued. False once a send has failed.
  bool flush();
  bool failed() const { return failed_; }

 private:
  bool send_all(const char* data, size_t n);

  Socket socket_;
  bool failed_ = false;
  size_t queued_ = 0;
  char queue_[kPageOutputSize];  // queue_[0, queued_) waits to be sent
};

// Before the transfer waits for the server: the bytes scanned but not sent (pending start up to
// the scan position, which is the position of the match being tried) join the queue, and the
// queue goes out. False when the browser can no longer be written to.
bool flush_before_receive(MatchContext* ctx);

}  // namespace kw
