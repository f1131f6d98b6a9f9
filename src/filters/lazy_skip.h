// Passing over the positions where the rest of an expression cannot begin, in the lazy loops
// ("*", "\d", "\w" before a consuming element) of the interpreters that follow the full
// matcher's steps one by one.
//
// Such a loop tries the rest at each position in turn. Where the rest fails at its first
// element whatever else follows, without storing anything, the try can be left out, provided
// the steps it would have taken (and the calls it would have nested) are still counted against
// the bounds, so that a match still fails exactly where the full matcher's bounds make it fail.
#pragma once

#include <cstdint>

#include "filters/literal_search.h"
#include "filters/match_state.h"
#include "filters/pattern_code.h"

namespace kw {

// What a try of the rest at `rest` needs of the byte it starts at, `open_quote` being the
// quote its frame holds at this try (a failed try may have closed it): when any other byte
// makes the try fail at its first element without storing anything, the bytes that do not
// (count of them, 0 when there is no such test), the steps such a failing try takes and the
// calls it nests below itself. A literal wants its byte in either case, a quote element its
// quote bytes, and a group whose alternatives all begin with literals any of those. Two
// literals (`pair`) fail a try one step later where only the first matches.
struct LazySkip {
  static constexpr int kMaxFirstAlternatives = 8;
  int count = 0;
  uint8_t bytes[2 * kMaxFirstAlternatives];
  uint32_t steps = 1;
  int depth = 0;
  bool pair = false;
};

[[gnu::always_inline]] inline LazySkip lazy_skip_for(const uint8_t* rest, char open_quote) {
  LazySkip e;
  const uint8_t op = *rest;
  if (is_literal_op(op)) {
    e.bytes[e.count++] = op;
    e.bytes[e.count++] = literal_other_case(op);
    e.pair =
        is_literal_op(rest[1]) && literal_compares_by_fold(op) && literal_compares_by_fold(rest[1]);
  } else if (op == OP_OPENQUOTE) {
    e.bytes[e.count++] = '"';
    e.bytes[e.count++] = '\'';
  } else if (op == OP_CLOSEQUOTE) {
    e.bytes[e.count++] = open_quote != 0 ? static_cast<uint8_t>(open_quote) : '\'';
  } else if (op == OP_GROUP && rest[3] != OP_NOT) {
    // The try steps on the group, then on each OP_ALT and the literal behind it, and on the
    // last alternative's literal, each failing at the group's start.
    const uint8_t* q = rest + 3;
    for (int alternatives = 1;; ++alternatives) {
      const bool alt = *q == OP_ALT;
      const uint8_t lead = alt ? q[3] : *q;
      if (!is_literal_op(lead) || alternatives > LazySkip::kMaxFirstAlternatives) {
        return LazySkip{};
      }
      e.bytes[e.count++] = lead;
      e.bytes[e.count++] = literal_other_case(lead);
      if (!alt) {
        e.steps = 2 * static_cast<uint32_t>(alternatives);
        e.depth = 1;
        break;
      }
      q += 3 + read_be16(q + 1) + 1;
    }
  }
  return e;
}

// Moves *p over the bytes present (before usable end) where the try `e` describes fails at its
// first element, and for \w (word_bytes_only) over word bytes only. Returns the steps the left
// out tries would have taken; 0 when *p did not move.
inline uint32_t pass_over_lazy_mismatches(const MatchState* ctx, const LazySkip& e,
                                          const uint8_t* rest, bool word_bytes_only, char** p) {
  if (e.count == 0) return 0;
  char* from = *p;
  char* const usable_end = ctx->usable_end;
  if (from >= usable_end) return 0;
  // Where the second literal is present too, positions are passed over unless both match.
  char* q = from;
  uint32_t first_alone = 0;
  if (e.pair && usable_end - from > 1) {
    q = const_cast<char*>(
        find_literal_pair(rest[0], rest[1], word_bytes_only, from, usable_end - 1, &first_alone));
  }
  q = const_cast<char*>(
      e.count <= 2
          ? find_either_byte(e.bytes[0], e.bytes[e.count - 1], word_bytes_only, q, usable_end)
          : find_any_byte(e.bytes, e.count, word_bytes_only, q, usable_end));
  if (q == from) return 0;
  *p = q;
  return static_cast<uint32_t>(q - from) * e.steps + first_alone;
}

}  // namespace kw
