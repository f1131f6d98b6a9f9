// A fresh match attempt behind the code's prefilter; see matcher.h and match_prefilter.h.
//
// The check looks only at bytes the matcher's own first steps would look at (pulling them the
// same way), and gives up on the attempt only where those steps would fail without storing
// anything; when a byte is not available it leaves the decision to the matcher.
#include <algorithm>

#include "filters/matcher.h"
#include "filters/pull_input.h"

namespace kw {

char* match_pattern(MatchContext* ctx, const PatternCode& code, MatchFunction matcher) {
  ctx->pattern = code.code();
  ctx->frame = nullptr;
  if (ctx->pattern == nullptr) return nullptr;
  const MatchPrefilter& filter = code.prefilter();
  if (!filter.any) {
    ctx->usable_end = std::min(ctx->data_end, ctx->window_end);
    const char* p = ctx->position;
    if (p < ctx->usable_end || pull_input(ctx, p)) {
      if (!filter.first[static_cast<uint8_t>(*p)]) return nullptr;
      for (int i = 1; i < filter.prefix_length; ++i) {
        if (p + i >= ctx->usable_end && !pull_input(ctx, p + i)) break;
        if (!literal_matches(filter.prefix[i], static_cast<uint8_t>(p[i]))) return nullptr;
      }
    }
  }
  return matcher(ctx);
}

}  // namespace kw
