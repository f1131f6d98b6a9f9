// The chain matcher; see matcher.h.
//
// In code of this shape every frame but the root is a group of literal alternatives, and every
// element other than the groups and the lazy ones ("*", "\d") matches at the one place it is
// tried or fails. The full matcher's work on it is therefore a plain search: each group tries
// its alternatives in order and, behind each one that matches, the rest of the expression;
// each lazy element tries the rest at each position from its own. This matcher takes the same
// steps in the same order, with the same open quote (held by the root frame throughout, and
// kept unchanged across a group's continuation), the same stores and the same bytes looked at
// (so the same input pulled), but with the code's structure fixed in its own control flow
// instead of frames. It counts the steps as the full matcher counts them; should a match come
// near the step bound, it hands the attempt to the full matcher from the start, which then
// repeats exactly what was done so far and decides the rest, bound included. The count is
// checked at the choice points only (before each try of a lazy element and each alternative's
// continuation): between two of them a match takes at most one step per byte of code and per
// byte of the window, far less than the margin below the bound. Nesting stays far below the
// depth bound: at most kMaxChainGroups groups and kMaxChainLazy lazy elements.
#include <algorithm>

#include "filters/lazy_skip.h"
#include "filters/match_elements.h"
#include "filters/matcher.h"

namespace kw {
namespace {

constexpr int kMaxChainGroups = 16;
constexpr int kMaxChainLazy = 16;
static_assert(2 * kMaxChainGroups + kMaxChainLazy + 1 < kMaxMatchDepth);

// Half the full matcher's bound: work beyond it goes to the full matcher. Past a check, a match
// takes at most a step per byte of code and per byte of its window (under 32768 bytes) before
// the next one, so it never passes the full matcher's bound unnoticed.
constexpr uint32_t kChainBudget = kMaxMatchSteps / 2;
static_assert(kChainBudget + kMaxPatternCode + 32768 < kMaxMatchSteps);

uint8_t byte_at(const char* p) { return static_cast<uint8_t>(*p); }
bool is_word_byte(uint8_t c) { return c > 32 && c != '>'; }

class ChainMatcher {
 public:
  explicit ChainMatcher(MatchState* ctx) : ctx_(ctx), start_(ctx->position) {}

  // The elements from pc to the end of the expression, at pos: the match end, or none.
  char* run(const uint8_t* pc, char* pos);
  bool over_budget() const { return over_budget_; }
  uint32_t steps() const { return steps_; }

 private:
  bool available(const char* p) { return byte_available(ctx_, p); }
  // Before a choice: false (and the attempt goes to the full matcher) once the budget is spent.
  bool within_budget() {
    if (steps_ <= kChainBudget) [[likely]]
      return true;
    over_budget_ = true;
    return false;
  }
  char* skip_whitespace(char* pos) {
    char* end = skip_blanks(ctx_, pos);
    steps_ += static_cast<uint32_t>(end - pos);
    return end;
  }
  bool number_at(const uint8_t* bounds, char** pos) {
    uint32_t digits;
    const bool fits = read_number(ctx_, bounds, pos, &digits);
    steps_ += digits;
    return fits;
  }
  void store(uint8_t d, char* start, const char* end) {
    if (d >= kVariableCount) return;
    ctx_->variable_start[d] = start;
    ctx_->variable_length[d] = static_cast<uint16_t>(end - start);
    ctx_->variables_set = 1;
  }
  // The group whose length begins at pc, at pos, with the rest of the expression behind it.
  char* group(const uint8_t* pc, char* pos);
  // The lazy element whose rest begins at pc, from pos, storing into `variable` if it is one.
  char* lazy(const uint8_t* pc, char* pos, uint8_t variable);

  MatchState* ctx_;
  char* start_;
  char open_quote_ = 0;
  uint32_t steps_ = 0;
  bool over_budget_ = false;
};

char* ChainMatcher::group(const uint8_t* pc, char* pos) {
  const uint8_t* after = pc + 2 + read_be16(pc) + 1;
  uint8_t variable = kVariableCount;
  if (*after == OP_VAR) {
    variable = after[1];
    after += 2;
  }
  const uint8_t* next = pc + 2;
  do {
    // Each OP_ALT is a step of its own, looked at from the group's start, where a failure
    // leaves no alternative to take.
    if (*next == OP_ALT) {
      ++steps_;
      if (!available(pos) && pos > ctx_->window_end) return nullptr;
    }
    const uint8_t* q = alternative_literals(next, &next);
    char* p = pos;
    bool matched = true;
    for (;; ++q, ++p) {
      ++steps_;
      const bool here = available(p);
      if (!here && p > ctx_->window_end) {
        matched = false;
        break;
      }
      if (*q == OP_END) break;
      if (!here || !literal_matches(*q, byte_at(p))) {
        matched = false;
        break;
      }
    }
    if (matched) {
      if (!within_budget()) return nullptr;
      store(variable, pos, p);
      const char saved = open_quote_;
      char* result = run(after, p);
      open_quote_ = saved;
      if (result != nullptr || over_budget_) return result;
    }
  } while (next != nullptr);
  return nullptr;
}

char* ChainMatcher::lazy(const uint8_t* pc, char* pos, uint8_t variable) {
  // Only a closing quote's test depends on the quote, which a failed try may have closed.
  char quote = open_quote_;
  LazySkip e = lazy_skip_for(pc, quote);
  for (char* p = pos;; ++p) {
    if (*pc == OP_CLOSEQUOTE && open_quote_ != quote) {
      quote = open_quote_;
      e = lazy_skip_for(pc, quote);
    }
    steps_ += pass_over_lazy_mismatches(ctx_, e, pc, false, &p);
    if (!within_budget() || !available(p)) return nullptr;
    if (char* result = run(pc, p)) {
      store(variable, pos, p);
      return result;
    }
    if (over_budget_) return nullptr;
  }
}

char* ChainMatcher::run(const uint8_t* pc, char* pos) {
  for (;;) {
    ++steps_;
    const bool here = available(pos);
    if (!here && pos > ctx_->window_end) return nullptr;
    const uint8_t op = *pc++;
    switch (op) {
      case OP_END:
        return pos;
      case OP_GROUP:
        return group(pc, pos);
      case OP_STAR:
      case OP_VAR: {
        const uint8_t variable = op == OP_VAR ? *pc++ : kVariableCount;
        if (*pc != OP_END) return lazy(pc, pos, variable);
        while (available(ctx_->usable_end)) {
        }
        char* end = std::max(pos, ctx_->usable_end);
        store(variable, pos, end);
        pos = end;
        continue;
      }
      case OP_WORD: {
        // Followed by the end or a blank run (chain_matcher_fits): it takes every word byte.
        char* from = pos;
        while (available(pos) && is_word_byte(byte_at(pos))) ++pos;
        steps_ += static_cast<uint32_t>(pos - from);
        continue;
      }
      case OP_CLASS:
        if (!here || !class_element_passes(pc, byte_at(pos), &pc)) return nullptr;
        ++pos;
        continue;
      case OP_ANY:
        if (!here || byte_at(pos) == 0) return nullptr;
        ++pos;
        continue;
      case OP_NUMBER: {
        const uint8_t* bounds = pc;
        pc += 8;
        if (!number_at(bounds, &pos)) return nullptr;
        continue;
      }
      case OP_SPACE1:
        if (!here || byte_at(pos) > 32) return nullptr;
        pos = skip_whitespace(pos + 1);
        continue;
      case OP_SPACE:
        pos = skip_whitespace(pos);
        continue;
      case OP_EQUALS:
        pos = skip_whitespace(pos);
        if (!available(pos) || byte_at(pos) != '=') return nullptr;
        pos = skip_whitespace(pos + 1);
        continue;
      case OP_OPENQUOTE:
        if (!here || (byte_at(pos) != '"' && byte_at(pos) != '\'')) return nullptr;
        open_quote_ = *pos++;
        continue;
      case OP_CLOSEQUOTE:
        if (open_quote_ != 0) {
          if (!here || *pos != open_quote_ || (pos > start_ && pos[-1] == '\\')) return nullptr;
          open_quote_ = 0;
        } else if (!here || *pos != '\'') {
          return nullptr;
        }
        ++pos;
        continue;
      default:
        if (!here || !literal_matches(op, byte_at(pos))) return nullptr;
        ++pos;
        continue;
    }
  }
}

}  // namespace

bool chain_matcher_fits(const uint8_t* code) {
  int groups = 0;
  int lazy = 0;
  for (const uint8_t* pc = code;;) {
    const uint8_t op = *pc;
    if (op == OP_END) return true;
    if (is_literal_op(op) || op == OP_SPACE || op == OP_SPACE1 || op == OP_EQUALS ||
        op == OP_OPENQUOTE || op == OP_CLOSEQUOTE || op == OP_ANY) {
      ++pc;
    } else if (op == OP_CLASS) {
      pc += 3 + read_be16(pc + 1) + 1;
    } else if (op == OP_NUMBER) {
      pc += 9;
    } else if (op == OP_WORD) {
      if (pc[1] != OP_END && pc[1] != OP_SPACE) return false;
      ++pc;
    } else if (op == OP_GROUP) {
      // Only before the lazy elements: their loops then never pass over a group.
      if (lazy > 0 || ++groups > kMaxChainGroups || pc[3] == OP_NOT) return false;
      const uint8_t* after = pc + 3 + read_be16(pc + 1) + 1;
      for (const uint8_t* next = pc + 3; next != nullptr;) {
        const uint8_t* q = alternative_literals(next, &next);
        while (is_literal_op(*q)) ++q;
        if (*q != OP_END) return false;
      }
      pc = *after == OP_VAR ? after + 2 : after;
      if (*pc == OP_REPEAT) return false;
    } else if (is_lazy_op(op)) {
      pc += op == OP_VAR ? 2 : 1;
      // A run of lazy elements is the full matcher's special case.
      if (++lazy > kMaxChainLazy || is_lazy_op(*pc)) return false;
    } else {
      return false;
    }
  }
}

char* match_chain(MatchState* ctx) {
  if (ctx->pattern == nullptr) return nullptr;
  if (ctx->frame != nullptr) return match_full(ctx);
  ctx->usable_end = std::min(ctx->data_end, ctx->window_end);
  ChainMatcher matcher(ctx);
  char* result = matcher.run(ctx->pattern, ctx->position);
  if (matcher.over_budget()) return match_full(ctx);
  ctx->full_steps += matcher.steps();
  return result;
}

}  // namespace kw
