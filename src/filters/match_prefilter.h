// Ruling out start positions without running the interpreter.
//
// compute_prefilter reads compiled code once (at compile time) and records which input bytes
// can be the first one a match consumes, and the literal bytes every match begins with. It is
// conservative: whenever an expression could succeed, or store a variable, before consuming a
// byte (an empty match, a leading "*" or "\1", "&", a negated group), it allows every byte, so
// a check against it can only skip attempts that would fail and leave nothing behind.
//
// StartTable combines the prefilters of the filters of one page: for each byte value a mask of
// the filters that can start with it, so that the scan can pass over positions where no filter
// can start and try only the candidates where one can. Built once per page, read by the
// page's thread only.
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
  // Registers filter number `index` (0 first, in the page's order) with its Match code; a filter
  // without code never matches and gets no bits.
  void add(int index, const PatternCode& code);

  // Whether filter `index` can match at a position whose first byte is `byte`.
  bool may_start(int index, uint8_t byte) const {
    return index >= kMaxFilters || (masks_[byte] >> index & 1) != 0;
  }
  // The first position in [from, to) where some filter can start, or `to`.
  const char* next_candidate(const char* from, const char* to) const;

 private:
  uint64_t masks_[256];  // bit i of masks_[b]: filter i can start with byte b
  bool every_position_;  // some filter beyond kMaxFilters: no position can be passed over
  int single_byte_;      // the only byte any filter can start with, or -1
};

}  // namespace kw
