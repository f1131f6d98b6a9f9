// Running one expression over a text the way the page scan does, either with the text whole in
// memory or pulled from a socket that delivers it in pieces of a chosen size, and recording
// every attempt's outcome (end and variables) so that different ways can be compared.
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "filters/match_context.h"
#include "filters/pattern_code.h"

namespace kw::test {

struct Attempt {
  int end = -1;                                       // offset of the match end, -1 for no match
  std::array<int, kVariableCount> variable_start{};   // offsets; -1 when empty
  std::array<int, kVariableCount> variable_length{};  // 0 when empty

  bool operator==(const Attempt&) const = default;
};

std::string describe(const Attempt& attempt);
inline void PrintTo(const Attempt& attempt, std::ostream* out) { *out << describe(attempt); }

// One attempt at `start` of `text` held in memory as a string, window end at start + limit - 1
// (or the text's end). `prefilter` runs the attempt through match_pattern.
Attempt match_in_memory(const PatternCode& code, const std::string& text, int start, int limit,
                        MatchFunction matcher, bool prefilter);

// Attempts at every position 0..size of `text` in order, as the page scan makes them: from
// memory, or pulled through a socket in pieces of `piece` bytes (0: from memory). Variables are
// cleared before each attempt.
std::vector<Attempt> scan_positions(const PatternCode& code, const std::string& text, int limit,
                                    MatchFunction matcher, bool prefilter, int piece);

}  // namespace kw::test
