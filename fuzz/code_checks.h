// Structural checks of compiled code for the fuzz targets: every length stays inside the block
// and lands on the OP_END it promises, every repeat reaches back to an earlier element, every
// replacement segment is a whole literal run or a whole code. A violation traps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/pattern_code.h"
#include "filters/replacement_code.h"

namespace kw::fuzz {

inline void require(bool condition) {
  if (!condition) __builtin_trap();
}

// Checks the elements of one level from pc up to and including its OP_END; returns the byte
// after that OP_END.
inline const uint8_t* check_level(const uint8_t* begin, const uint8_t* pc, const uint8_t* end) {
  for (;;) {
    require(pc < end);
    const uint8_t* element = pc;
    const uint8_t op = *pc++;
    switch (op) {
      case OP_END:
        return pc;
      case OP_REPEAT: {
        require(pc + 2 <= end);
        const int distance = read_be16(pc);
        require(distance > 0 && distance <= element - begin);
        pc += 2;
        break;
      }
      case OP_ALT:
      case OP_GROUP: {
        require(pc + 2 <= end);
        const uint8_t* inner = pc + 2;
        const uint8_t* close = inner + read_be16(pc);
        require(close < end && *close == OP_END);
        if (op == OP_GROUP && *inner == OP_NOT) ++inner;
        require(check_level(begin, inner, end) == close + 1);
        pc = close + 1;
        break;
      }
      case OP_CLASS: {
        require(pc + 2 <= end);
        const int length = read_be16(pc);
        require(length > 0 && pc + 2 + length < end && pc[2 + length] == OP_END);
        pc += 2 + length + 1;
        break;
      }
      case OP_NUMBER:
        require(pc + 8 <= end);
        pc += 8;
        break;
      case OP_VAR:
        require(pc < end && *pc < kVariableCount);
        ++pc;
        break;
      case OP_NOT:
      case OP_RANGE:
        require(false);
        break;
      default:  // a literal or an opcode without operands
        break;
    }
  }
}

inline void check_pattern_code(const PatternCode& code) {
  require(code.size() >= 1 && code.size() <= kMaxPatternCode);
  const uint8_t* begin = code.code();
  const uint8_t* end = begin + code.size();
  require(check_level(begin, begin, end) == end);
  require(code.level() >= 0 && code.level() <= kLevelFull);
}

inline void check_replacement_code(const ReplacementCode& code) {
  require(code.size() >= 2 && code.size() <= kMaxReplacementCode);
  const uint8_t* p = code.code();
  const uint8_t* end = p + code.size();
  for (;;) {
    require(p + 2 <= end);
    const int length = read_be16(p);
    p += 2;
    if (length == 0) break;
    require(p + length <= end);
    if (p[0] == RC_VAR) {
      require(length == 2 && p[1] < kVariableCount);
    } else if (is_replacement_code_byte(p[0])) {
      require(length == 1);
    }
    p += length;
  }
  require(p == end);
}

}  // namespace kw::fuzz
