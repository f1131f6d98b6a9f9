// The matching-expression compiler: an expression line in, pattern code out.
//
// Compilation runs on the thread that loads a configuration or saves an edited filter; the
// result is immutable and shared by the connection threads afterwards. The compiler reports
// nothing itself: it tells its caller why a text did not compile, and the caller decides what
// the user sees.
#pragma once

#include "base/result.h"
#include "filters/match_state.h"
#include "filters/pattern_code.h"

namespace kw {

// The code of `text`, or an empty PatternCode when there is no text or it does not compile.
// When `choice` is given and compilation succeeds, it receives match_simple for expressions of
// level 2 or less, match_sequence or else match_chain for the others they fit, and match_full
// for the rest. When `result` is given it receives kResultOk, or why there is no code:
// kResultBadPattern (no text, or a syntax error), kResultPatternTooLong (the code would pass
// 4096 bytes), kResultPatternTooDeep (more than 199 groups and alternatives open at once) or
// kResultNoMemory; result_name gives the text to show for each.
PatternCode compile_pattern(const char* text, MatchFunction* choice = nullptr,
                            int* result = nullptr);

}  // namespace kw
