// Names of the result codes; see result.h.
#include "base/result.h"

namespace kw {

const char* result_name(int code) {
  switch (code) {
    case kResultOk:
      return "done";
    case kResultFailed:
      return "failed";
    case kResultBadPattern:
      return "the matching pattern does not compile";
    case kResultBadMatch:
      return "the matching expression does not compile";
    case kResultBadBounds:
      return "the bounds expression does not compile";
    case kResultNoReplacement:
      return "no replacement text";
    case kResultSendFailed:
      return "the browser could not be written to";
    case kResultNoMemory:
      return "Not enough memory";
    case kResultPatternTooLong:
      return "Exceeded parsed line buffer";
    case kResultPatternTooDeep:
      return "Parse stack overflow";
  }
  return code > 0 ? "done" : "unknown failure";
}

}  // namespace kw
