// The sequence matcher; see matcher.h.
//
// In code of this shape the only choice points are the groups of literal alternatives: every
// other element either matches at the one place it is tried or fails, and the one lazy star
// comes after the last group, where nothing later can send the match back into it. The full
// matcher's backtracking therefore reduces to trying the groups' alternatives in order, the
// latest group first, each from the position and quote where its group began. The bytes looked
// at (and so the input pulled) are the full matcher's, without its frames, recursion and step
// counting; windows too wide for the step bound to stay out of reach go to the full matcher.
#include <algorithm>

#include "filters/literal_search.h"
#include "filters/match_elements.h"
#include "filters/matcher.h"

namespace kw {
namespace {

constexpr int kMaxGroups = 8;
constexpr int kMaxChoices = 8;  // the product of the groups' alternative counts
constexpr int kMaxTail = 16;    // literals after the star

// The full matcher's steps on this shape: per choice of alternatives at most one step per byte
// of code before the star, one per blank skipped, and the star's tries, each passing over a byte
// or trying the tail there. Windows up to this wide keep them below the bound.
constexpr long kMaxWindow = 4096;
static_assert(kMaxChoices * (kMaxPatternCode + kMaxWindow * (kMaxTail + 3)) < kMaxMatchSteps);

uint8_t byte_at(const char* p) { return static_cast<uint8_t>(*p); }

// The code after the group whose OP_GROUP byte is at op.
const uint8_t* after_group(const uint8_t* op) { return op + 3 + read_be16(op + 1) + 1; }

// Where a group had been entered on the current path, and the alternative it tries next.
struct GroupChoice {
  const uint8_t* after;
  const uint8_t* next;  // none when the current alternative is its last
  char* pos;
  char quote;
};

}  // namespace

bool sequence_matcher_fits(const uint8_t* code) {
  int choices = 1;
  int groups = 0;
  for (const uint8_t* pc = code;;) {
    const uint8_t op = *pc;
    if (op == OP_END) return true;
    if (is_literal_op(op) || op == OP_SPACE || op == OP_SPACE1 || op == OP_EQUALS ||
        op == OP_OPENQUOTE || op == OP_CLOSEQUOTE || op == OP_ANY) {
      ++pc;
    } else if (op == OP_CLASS) {
      pc += 3 + read_be16(pc + 1) + 1;
    } else if (op == OP_GROUP) {
      const uint8_t* after = pc + 3 + read_be16(pc + 1) + 1;
      if (pc[3] == OP_NOT || *after == OP_VAR || ++groups > kMaxGroups) return false;
      int count = 0;
      for (const uint8_t* next = pc + 3; next != nullptr; ++count) {
        const uint8_t* q = alternative_literals(next, &next);
        while (is_literal_op(*q)) ++q;
        if (*q != OP_END) return false;
      }
      choices *= count;
      if (choices > kMaxChoices) return false;
      pc = after;
    } else if (op == OP_STAR) {
      const uint8_t* tail = pc + 1;
      if (*tail == OP_CLOSEQUOTE) return tail[1] == OP_END;
      int literals = 0;
      while (is_literal_op(*tail)) ++tail, ++literals;
      return *tail == OP_END && literals <= kMaxTail;
    } else {
      return false;
    }
  }
}

char* match_sequence(MatchState* ctx) {
  if (ctx->pattern == nullptr) return nullptr;
  if (ctx->frame != nullptr || ctx->window_end - ctx->position > kMaxWindow) {
    return match_full(ctx);
  }
  ctx->usable_end = std::min(ctx->data_end, ctx->window_end);
  char* const start = ctx->position;
  GroupChoice groups[kMaxGroups];
  int depth = 0;        // groups entered on the current path
  const uint8_t* after = nullptr;  // while inside an alternative: the code after its group
  const uint8_t* pc = ctx->pattern;
  char* pos = start;
  char quote = 0;
  for (;;) {
    {
      // Every element looks at its position first, as in the full matcher, so that the same
      // input is pulled.
      const bool here = byte_available(ctx, pos);
      const uint8_t op = *pc++;
      switch (op) {
        case OP_END:
          if (after == nullptr) return pos;
          pc = after;
          after = nullptr;
          continue;
        case OP_GROUP: {
          GroupChoice& g = groups[depth++];
          g = GroupChoice{after_group(pc - 1), nullptr, pos, quote};
          after = g.after;
          pc = alternative_literals(pc + 2, &g.next);
          continue;
        }
        case OP_SPACE1:
          if (!here || byte_at(pos) > 32) goto fail;
          pos = skip_blanks(ctx, pos + 1);
          continue;
        case OP_SPACE:
          pos = skip_blanks(ctx, pos);
          continue;
        case OP_EQUALS:
          pos = skip_blanks(ctx, pos);
          if (!byte_available(ctx, pos) || byte_at(pos) != '=') goto fail;
          pos = skip_blanks(ctx, pos + 1);
          continue;
        case OP_OPENQUOTE:
          if (!here || (byte_at(pos) != '"' && byte_at(pos) != '\'')) goto fail;
          quote = *pos++;
          continue;
        case OP_CLOSEQUOTE:
          if (quote != 0) {
            if (!here || *pos != quote || (pos > start && pos[-1] == '\\')) goto fail;
            quote = 0;
          } else if (!here || *pos != '\'') {
            goto fail;
          }
          ++pos;
          continue;
        case OP_ANY:
          if (!here || byte_at(pos) == 0) goto fail;
          ++pos;
          continue;
        case OP_CLASS:
          // A failure restarts from a saved position and element, so pc and pos need not move.
          if (!here || !class_element_passes(pc, byte_at(pos), &pc)) goto fail;
          ++pos;
          continue;
        case OP_STAR: {
          if (*pc == OP_END) {
            while (byte_available(ctx, ctx->usable_end)) {
            }
            pos = std::max(pos, ctx->usable_end);
            continue;
          }
          // The shortest run after which the tail (literals, or a closing quote) matches: only
          // where its first element can match is it tried.
          const bool closing = *pc == OP_CLOSEQUOTE;
          const uint8_t lead = closing ? (quote != 0 ? static_cast<uint8_t>(quote) : '\'') : *pc;
          for (char* p = pos;; ++p) {
            if (p < ctx->usable_end) {
              p = const_cast<char*>(
                  closing ? find_either_byte(lead, lead, false, p, ctx->usable_end)
                          : find_literal(lead, false, p, ctx->usable_end));
            }
            if (!byte_available(ctx, p)) goto fail;
            char* q = p;
            if (closing) {
              if (byte_at(q) != lead || (quote != 0 && q > start && q[-1] == '\\')) continue;
              ++q;
            } else {
              const uint8_t* t = pc;
              while (*t != OP_END && byte_available(ctx, q) && literal_matches(*t, byte_at(q))) {
                ++t;
                ++q;
              }
              if (*t != OP_END) continue;
            }
            byte_available(ctx, q);
            return q;
          }
        }
        default:
          if (!here || !literal_matches(op, byte_at(pos))) goto fail;
          ++pos;
          continue;
      }
    }
  fail:
    // The latest group with an alternative left takes it, from where the group began.
    while (depth > 0 && groups[depth - 1].next == nullptr) --depth;
    if (depth == 0) return nullptr;
    GroupChoice& g = groups[depth - 1];
    pos = g.pos;
    quote = g.quote;
    after = g.after;
    pc = alternative_literals(g.next, &g.next);
  }
}

}  // namespace kw
