// Ruling out start positions without running the interpreter.
//
// compute_prefilter reads compiled code once (at compile time) and records which input bytes
// can be the first one a match consumes, and the literal bytes every match begins with. It is
// conservative: whenever an expression could succeed, or store a variable, before consuming a
// byte (an empty match, a leading "*" or "\1", "&", a negated group), it allows every byte, so
// a check against it can only skip attempts that would fail and leave nothing behind.
//
// StartTable combines the prefilters of the filters of one page: for each byte value a mask of
// the filters that can start with it, and one of the filters it can follow the first byte of,
// so that the scan can pass over positions where no filter can start and try only the
// candidates where one can. Built once per page, read by the page's thread only.
#pragma once

#include <cstdint>

#include "filters/pattern_code.h"

namespace kw {

// The prefilter of well-formed code (as compile_pattern makes it).
MatchPrefilter compute_prefilter(const uint8_t* code);

class StartTable {
 public:
  // Filters beyond this count are tried at every position.
  static constexpr int kMaxFilters = 64;

  StartTable() { clear(); }
  void clear();
  // Registers filter number `index` (0 first, in the page's order) with its Match code and its
  // Bounds code, if it has Bounds; a filter whose code is missing never matches and gets no bits.
  void add(int index, const PatternCode& match, const PatternCode* bounds = nullptr);

  // Bit i set: filter i (below kMaxFilters) may match at p, judging by the byte there and, when
  // p + 1 is before `end` (the end of the bytes present), by the byte after it.
  uint64_t candidates(const char* p, const char* end) const {
    uint64_t mask = first_[static_cast<uint8_t>(*p)];
    if (mask != 0 && p + 1 < end) mask &= second_[static_cast<uint8_t>(p[1])];
    return mask;
  }
  // True when filters beyond kMaxFilters must be tried everywhere.
  bool every_position() const { return every_position_; }
  // The first position in [from, to) where some filter may match (bytes are present up to to),
  // or `to`.
  const char* next_candidate(const char* from, const char* to) const;

 private:
  uint64_t first_[256];   // bit i of first_[b]: filter i can start with byte b
  uint64_t second_[256];  // bit i of second_[b]: byte b can follow filter i's first byte
  bool every_position_;   // some filter beyond kMaxFilters: no position can be passed over
  int single_byte_;       // the only byte any filter can start with, or -1
};

}  // namespace kw
