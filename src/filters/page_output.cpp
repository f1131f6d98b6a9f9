// The page transfer's output queue; see page_output.h.
#include "filters/page_output.h"

namespace kw {

bool flush_before_receive(MatchContext* ctx) {
  PageOutput* out = ctx->output;
  if (ctx->position > ctx->pending_start) {
    out->write(ctx->pending_start, static_cast<size_t>(ctx->position - ctx->pending_start));
    ctx->pending_start = ctx->position;
  }
  return out->flush();
}

}  // namespace kw
