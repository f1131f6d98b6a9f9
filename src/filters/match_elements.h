// Element steps the interpreters that follow the full matcher share, each taken exactly as the
// full matcher takes it, so that they look at the same bytes (and pull the same input).
#pragma once

#include <cstdint>

#include "filters/match_state.h"
#include "filters/pattern_code.h"

namespace kw {

// The alternative at q (an OP_ALT, or the last one): where its literals are, and where the
// next alternative begins (none after the last).
inline const uint8_t* alternative_literals(const uint8_t* q, const uint8_t** next) {
  if (*q != OP_ALT) {
    *next = nullptr;
    return q;
  }
  *next = q + 3 + read_be16(q + 1) + 1;
  return q + 3;
}

// The position after the blanks (bytes up to 32) from pos on, as far as input comes.
inline char* skip_blanks(MatchState* ctx, char* pos) {
  while (byte_available(ctx, pos) && static_cast<uint8_t>(*pos) <= 32) ++pos;
  return pos;
}

// OP_NUMBER at *pos: an optional double quote, digits read as a 32-bit value, the closing quote
// if one opened; the value must lie within the two signed bounds. *digits is the count of
// digits read, a step each, whether the number fits or not.
inline bool read_number(MatchState* ctx, const uint8_t* bounds, char** pos, uint32_t* digits) {
  const auto digit_at = [ctx](const char* p) {
    return byte_available(ctx, p) && *p >= '0' && *p <= '9';
  };
  char* p = *pos;
  const bool quoted = byte_available(ctx, p) && *p == '"';
  if (quoted) ++p;
  *digits = 0;
  if (!digit_at(p)) return false;
  uint32_t value = 0;
  char* first = p;
  while (digit_at(p)) {
    value = value * 10 + static_cast<uint32_t>(*p - '0');
    ++p;
  }
  *digits = static_cast<uint32_t>(p - first);
  if (quoted && byte_available(ctx, p) && *p == '"') ++p;
  const int32_t signed_value = static_cast<int32_t>(value);
  if (signed_value < read_le32(bounds) || signed_value > read_le32(bounds + 4)) return false;
  *pos = p;
  return true;
}

}  // namespace kw
