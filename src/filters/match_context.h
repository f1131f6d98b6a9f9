// The state of one match attempt and of the page scan around it.
//
// A MatchContext belongs to one thread: the page transfer keeps one for a whole body, header
// filtering one per pass. The matchers read and move the window fields and store variables;
// the page scan owns the buffer fields and the pending start. For a string in memory the caller
// sets position to its start, window end to its end (where the terminating NUL is), data end one
// byte beyond, and frame to none: nothing is ever pulled then. For a body, input is the server
// connection and the matchers pull bytes into the current buffer at data end as a step needs
// them, never beyond window end (see pull_input.h).
#pragma once

#include <cstdint>

#include "filters/pattern_code.h"
#include "http/http_message.h"

namespace kw {

// One level of matching. The root frame covers the whole expression; a group frame the
// content of one group (its continuation is the code after the group); a repeat frame one
// repetition of an item (no parent; its continuation is the OP_REPEAT byte that marks the end
// of the item).
struct MatchFrame {
  MatchFrame* parent;           // the frame the group stands in; none for root and repeat
  char* start;                  // where this frame's text began
  const uint8_t* continuation;  // code after the group, the repeat mark, or none for the root
  char* furthest_end;           // furthest end an & branch reached, or none
  char open_quote;              // 0, or the quote byte that OP_OPENQUOTE matched
};

struct MatchContext;
class PageOutput;
// match_full or match_simple: the end of the match, or none.
using MatchFunction = char* (*)(MatchContext*);

struct MatchContext {
  char* position;          // where the match starts
  const uint8_t* pattern;  // the pattern code to run
  char* window_end;        // no element consumes a byte at or beyond it
  MatchFrame* frame;       // none on a fresh call
  MatchFrame root_frame;   // set up by a fresh call of match_full
  char* pending_start;     // bytes [pending_start, scan position) are scanned but not yet sent
  char* usable_end;        // min(data_end, window_end)
  char* data_end;          // [current_buffer, data_end) holds the bytes received so far
  char* buffer_end;        // last usable byte of the current buffer (its size less one)
  uint32_t variables_set;  // 1 once any variable was stored
  char* variable_start[kVariableCount];
  uint16_t variable_length[kVariableCount];  // 0 is empty; longer stretches are cut to 16 bits
  HttpMessage* input;   // the server connection feeding a body; unused for strings
  bool input_ended;     // the server closed (or its socket failed): nothing more is received
  int pull_size;        // largest receive of the body; 0 means kPullSize (2048)
  HttpMessage* client;  // the browser connection: output and the request line
  char* current_buffer;
  char* buffer_a;
  char* buffer_b;
  // The page transfer's output queue, or none: then replacements are sent to the client at
  // once and receives need no flush first.
  PageOutput* output;
};

// Points the context at the text [begin, end) in memory, as a string: the byte at end is never
// consumed and nothing is pulled. Leaves the variables alone.
inline void set_string_window(MatchContext* ctx, char* begin, char* end) {
  ctx->position = begin;
  ctx->window_end = end;
  ctx->data_end = end + 1;
  ctx->usable_end = end;
  ctx->frame = nullptr;
}

// Empties all ten variables.
inline void clear_variables(MatchContext* ctx) {
  for (uint16_t& length : ctx->variable_length) length = 0;
  ctx->variables_set = 0;
}

}  // namespace kw
