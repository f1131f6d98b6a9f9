// The outcomes that calls of every layer return: 1 for success and 0 for a plain failure, as
// ever, and a named negative code where the caller needs to know why. Each negative value has
// one meaning across the program, so a code can travel up through several layers and still be
// shown by the one that talks to the user.
#pragma once

namespace kw {

enum Result : int {
  kResultOk = 1,
  kResultFailed = 0,
  // Building a filter: the first pattern of the record does not compile (a web filter's Url,
  // a header filter's Match), its matching expression, its bounds expression.
  kResultBadPattern = -1,
  kResultBadMatch = -2,
  kResultBadBounds = -3,
  kResultNoReplacement = -4,   // a filter without replacement code was asked to expand it
  kResultSendFailed = -5,      // the browser could no longer be written to
  kResultNoMemory = -6,
  kResultPatternTooLong = -7,  // the pattern code would pass its 4096 bytes
  kResultPatternTooDeep = -8,  // more than 199 groups and alternatives open at once
};

// A short text for the code, the one shown to the user where there is one; never none.
const char* result_name(int code);

}  // namespace kw
