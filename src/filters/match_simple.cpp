// The simple matcher for code of level 2 or less; see matcher.h.
//
// Without groups, variables and quotes the only choice points are the lazy stars, and the
// backtracking of the full matcher reduces to one resume point: on a failure only the most
// recent star needs to try its next position. An earlier star never needs to: the elements
// between stars (literals, "?", blank runs, "\s") end no earlier when they start later, so
// whatever the later star failed to find from an earlier start it cannot find from a later
// one. That makes the result the same as the full matcher's and the cost linear in the window
// for each star (blank runs crossed once, see BlankRun), with no recursion.
#include <algorithm>

#include "filters/matcher.h"
#include "filters/literal_search.h"
#include "filters/match_elements.h"

namespace kw {
namespace {

uint8_t byte_at(const char* p) { return static_cast<uint8_t>(*p); }

// The blank run the latest skip crossed. A lazy star tries the rest at every position, and
// where the rest reaches a run of blanks after single bytes (or at once) each try would cross
// the same run again: a window of blanks would cost its length squared. Within one attempt the
// bytes stay where they are and the input available stays available, so a skip that starts
// inside the run ends where the run ended.
struct BlankRun {
  char* from = nullptr;
  char* end = nullptr;
};

char* skip_whitespace(MatchState* ctx, BlankRun* run, char* pos) {
  if (run->end != nullptr && pos >= run->from && pos <= run->end) return run->end;
  char* end = skip_blanks(ctx, pos);
  *run = {pos, end};
  return end;
}

}  // namespace

char* match_simple(MatchState* ctx) {
  if (ctx->pattern == nullptr) return nullptr;
  ctx->usable_end = std::min(ctx->data_end, ctx->window_end);
  const uint8_t* pc = ctx->pattern;
  char* pos = ctx->position;
  const uint8_t* star_rest = nullptr;  // code after the latest lazy star, or none
  char* star_next = nullptr;           // the next position that star tries the rest at
  BlankRun blanks;
  for (;;) {
    {
      const bool here = byte_available(ctx, pos);
      if (!here && pos > ctx->window_end) goto fail;
      const uint8_t op = *pc++;
      switch (op) {
        case OP_END:
          return pos;
        case OP_STAR:
          if (*pc == OP_END) {
            while (byte_available(ctx, ctx->usable_end)) {
            }
            pos = std::max(pos, ctx->usable_end);
            continue;
          }
          if (!here) goto fail;
          star_rest = pc;
          star_next = pos + 1;
          continue;
        case OP_ANY:
          if (!here || byte_at(pos) == 0) goto fail;
          ++pos;
          continue;
        case OP_SPACE1:
          if (!here || byte_at(pos) > 32) goto fail;
          pos = skip_whitespace(ctx, &blanks, pos + 1);
          continue;
        case OP_SPACE:
          pos = skip_whitespace(ctx, &blanks, pos);
          continue;
        default:
          if (!is_literal_op(op)) return match_full(ctx);
          if (!here || !literal_matches(op, byte_at(pos))) goto fail;
          ++pos;
          continue;
      }
    }
  fail:
    if (star_rest == nullptr) return nullptr;
    // Where the rest begins with a literal, the positions it cannot match at are passed over.
    if (is_literal_op(*star_rest) && star_next < ctx->usable_end) {
      star_next = const_cast<char*>(find_literal(*star_rest, false, star_next, ctx->usable_end));
    }
    if (!byte_available(ctx, star_next)) return nullptr;
    pc = star_rest;
    pos = star_next++;
  }
}

}  // namespace kw
