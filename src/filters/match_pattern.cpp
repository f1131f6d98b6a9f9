// A fresh match attempt behind the code's prefilter; see matcher.h and match_prefilter.h.
//
// The check looks only at bytes the matcher's own first steps would look at, pulling them the
// same way, and gives up on the attempt only where those steps would fail without storing
// anything. Where a byte it needs is not available, the matcher decides.
#include <algorithm>

#include "filters/matcher.h"
#include "filters/literal_search.h"

namespace kw {
namespace {

// False when no match can begin at ctx->position.
bool may_match_here(MatchState* ctx, const MatchPrefilter& filter) {
  const char* p = ctx->position;
  if (!byte_available(ctx, p)) return true;
  if (!filter.can_start_with(static_cast<uint8_t>(*p))) return false;
  if (filter.prefix_count == 0) return true;
  if (filter.skip_blanks) {
    while (byte_available(ctx, p) && static_cast<uint8_t>(*p) <= 32) ++p;
  }
  for (int k = 0; k < filter.prefix_count; ++k) {
    const uint8_t* run = filter.prefix[k];
    const int length = filter.prefix_length[k];
    int i = 0;
    for (; i < length; ++i) {
      if (!byte_available(ctx, p + i)) return true;
      if (!literal_matches(run[i], static_cast<uint8_t>(p[i]))) break;
    }
    if (i == length) return true;
  }
  return false;
}

}  // namespace

char* match_pattern(MatchState* ctx, const PatternCode& code, MatchFunction matcher) {
  ctx->pattern = code.code();
  ctx->frame = nullptr;
  if (ctx->pattern == nullptr) return nullptr;
  const MatchPrefilter& filter = code.prefilter();
  if (!filter.any) {
    ctx->usable_end = std::min(ctx->data_end, ctx->window_end);
    if (!may_match_here(ctx, filter)) return nullptr;
  }
  return matcher(ctx);
}

}  // namespace kw
