// The matchers: does pattern code match at one position of a text, and where does it end.
//
// They never search; the caller tries position after position. Both pull input as a step needs
// it (through the state's source, match_state.h) and never consume a byte at or beyond window
// end. They need nothing of the page transfer or the HTTP messages. match_full is a recursive
// backtracking interpreter for every element; match_simple handles the expressions of level 2
// or less (literals, "?", "*", blank runs, "\s") without frames or recursion and gives
// the same results on them. match_sequence does the same for code whose only choices are groups
// of literal alternatives and one lazy star before a literal tail, and match_chain for code
// whose groups of literal alternatives all come before its lazy stars and variables. None
// allocates. A match may
// be empty (the result equals the start). Variables are stored into the context and never
// cleared here; stores made on paths that later fail stay.
//
// Hostile expressions are bounded: a match that would nest more than kMaxMatchDepth calls, or
// take more than kMaxMatchSteps steps, fails. Both bounds lie far above what real filters use.
//
// Called on the thread that owns the context; the code is shared read-only.
#pragma once

#include <cstdint>

#include "filters/match_state.h"
#include "filters/pattern_code.h"

namespace kw {

inline constexpr int kMaxMatchDepth = 1000;
inline constexpr uint32_t kMaxMatchSteps = uint32_t{1} << 20;

// The position just after the match of ctx->pattern at ctx->position, or none. With frame none
// it is a fresh attempt (root frame, usable end computed); frame is none again afterwards.
char* match_full(MatchState* ctx);
// The same for code of level 2 or less (anything else is handed to match_full).
char* match_simple(MatchState* ctx);
// The same for code that sequence_matcher_fits: literals, blank runs, "\s", "=", quotes, "?" and
// sets, up to eight groups of literal alternatives (no more than eight ways through them, none
// negated or stored), and at most one "*", last, followed only by up to sixteen literals or a
// closing quote. Windows over 4096 bytes, and calls that continue a frame, go to match_full.
char* match_sequence(MatchState* ctx);
bool sequence_matcher_fits(const uint8_t* code);
// The same for code that chain_matcher_fits: the elements that match at one place (literals,
// blank runs, "\s", "=", quotes, "?", sets, numbers, "\w" before the end or a blank run), up
// to sixteen groups of literal alternatives (none negated or repeated, each perhaps stored), and
// after the last group up to sixteen "*" and "\d", no two stars in a row. It takes the full
// matcher's steps in the same order, and hands a match that comes near the step bound, and
// calls that continue a frame, to match_full.
char* match_chain(MatchState* ctx);
bool chain_matcher_fits(const uint8_t* code);

// How many attempts of match_full on this thread so far failed at the depth or step bound.
uint64_t match_bounds_hit();

// A fresh attempt of `code` at ctx->position with `matcher`, after checking the code's
// prefilter against the bytes there; that check only rules out attempts that would fail.
// Empty code fails.
char* match_pattern(MatchState* ctx, const PatternCode& code, MatchFunction matcher = match_full);

}  // namespace kw
