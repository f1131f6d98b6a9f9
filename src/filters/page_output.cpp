// The page transfer's output queue; see page_output.h.
#include "filters/page_output.h"

#include <cstring>

namespace kw {

bool PageOutput::send_all(const char* data, size_t n) {
  if (!failed_ && !net_send_all(socket_, data, n)) failed_ = true;
  return !failed_;
}

bool PageOutput::write(const char* data, size_t n) {
  if (failed_) return false;
  if (n > kPageOutputSize - queued_) {
    if (!flush()) return false;
    if (n >= kPageOutputSize) return send_all(data, n);
  }
  std::memcpy(queue_ + queued_, data, n);
  queued_ += n;
  return true;
}

bool PageOutput::flush() {
  if (queued_ > 0 && !failed_) send_all(queue_, queued_);
  queued_ = 0;
  return !failed_;
}

bool flush_before_receive(MatchContext* ctx) {
  PageOutput* out = ctx->output;
  if (ctx->position > ctx->pending_start) {
    out->write(ctx->pending_start, static_cast<size_t>(ctx->position - ctx->pending_start));
    ctx->pending_start = ctx->position;
  }
  return out->flush();
}

}  // namespace kw
