// Expanding replacement code after a match: literal runs, the variables of the match, parts of
// the request URL and the program directory as a file URL. The page scan sends expansions to
// the browser or into its other swap buffer; the header filters expand into a value buffer.
// Runs on the thread that owns the context; the code is shared read-only.
#pragma once

#include "base/result.h"
#include "filters/match_context.h"
#include "filters/replacement_code.h"

namespace kw {

// Expands `code` with the context's variables and its client's request line. Without a
// destination the bytes go to the browser: into ctx->output when there is one, else straight
// to the client's socket. With a destination of `capacity` bytes, at most capacity - 1 bytes
// are written and a NUL follows them; the result is then the whole expansion's length, so a
// result of capacity or more means the text was cut. Returns the number of bytes (0 is a
// success like any other), kResultNoReplacement or kResultSendFailed.
int emit_replacement(MatchContext* ctx, const ReplacementCode& code, char* destination = nullptr,
                     int capacity = 0);

}  // namespace kw
