// The matching-expression compiler: an expression line in, pattern code out.
//
// Compilation runs on the thread that loads a configuration or saves an edited filter; the
// result is immutable and shared by the connection threads afterwards. Syntax errors fail
// quietly (the caller reports them); the two limits of the code (4096 bytes, 199 open groups
// and alternatives) are reported through the application error box.
#pragma once

#include "filters/match_state.h"
#include "filters/pattern_code.h"

namespace kw {

// The code of `text`, or an empty PatternCode when there is no text or it does not compile.
// When `choice` is given and compilation succeeds, it receives match_simple for expressions of
// level 2 or less and match_full for the others.
PatternCode compile_pattern(const char* text, MatchFunction* choice = nullptr);

}  // namespace kw
