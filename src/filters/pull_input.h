// Feeding a match from the server connection while the body arrives.
//
// The matchers never read a socket themselves: whenever a step needs the byte at some position
// and it has not arrived, pull_input receives more of the body into the caller's buffer at data
// end, reading through the server message's own receive buffer so that bytes read ahead while
// the reply head was parsed come first. Reads never go beyond window end by more than one
// receive, never past buffer end, and stop for good when the server closes: window end then
// shrinks to data end and the match is decided on the bytes present. A page transfer's output
// queue (the context's output) is flushed before every receive from the socket, so the browser
// never waits for bytes that were already scanned. Called on the connection thread that owns
// the context.
#pragma once

#include "filters/match_context.h"
#include "http/http_message.h"

namespace kw {

// Reads of the body happen in pieces of at most this many bytes, unless the context asks for
// larger ones (its pull_size).
inline constexpr int kPullSize = 2048;

// Whether the byte at p (at or after the match start) can be consumed: it lies before usable
// end, or receiving more of the body brings it there. Receives as needed; when the input ends,
// window end and usable end become data end. A byte at or beyond window end is never available.
int pull_input(MatchContext* ctx, const char* p);

// pull_input with the common case first: a byte already before usable end needs no call.
inline bool byte_available(MatchContext* ctx, const char* p) {
  return p < ctx->usable_end || pull_input(ctx, p) != 0;
}

// Up to n bytes of the message's stream into destination, followed by a NUL: the bytes waiting
// in the message's receive buffer, or when it is used up, what one receive of up to 2048 bytes
// brings (of up to n bytes, straight into destination, when n is 2048 or more). Returns the count,
// or 0 (with a NUL written) when the peer closed or the receive failed.
int stream_read(HttpMessage* msg, char* destination, int n);

}  // namespace kw
