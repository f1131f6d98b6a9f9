// The state a match attempt runs on: the window, the frames of the full matcher, the variables,
// and the source that brings more input when a step needs a byte that has not arrived.
//
// A MatchState belongs to one thread. For a string in memory the caller sets position to its
// start, window end to its end (where the terminating NUL is), data end one byte beyond and
// frame to none, and leaves the source empty: nothing is ever pulled then. For input that
// arrives while it is matched, the source receives more bytes at data end as a step needs them,
// never beyond window end by more than one piece.
#pragma once

#include <cstdint>

#include "filters/pattern_code.h"

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

struct MatchState;

// Where input comes from while it is matched.
class MatchSource {
 public:
  // Whether the byte at p (at or after the match start) can be consumed: it lies before usable
  // end, or receiving more input brings it there. Receives as needed at data end, never more
  // than one piece beyond window end; when the input ends, window end and usable end become
  // data end. A byte at or beyond window end is never available.
  virtual int pull(MatchState* state, const char* p) = 0;

 protected:
  ~MatchSource() = default;
};

// match_full or match_simple: the end of the match, or none.
using MatchFunction = char* (*)(MatchState*);

struct MatchState {
  char* position;          // where the match starts
  const uint8_t* pattern;  // the pattern code to run
  char* window_end;        // no element consumes a byte at or beyond it
  MatchFrame* frame;       // none on a fresh call
  MatchFrame root_frame;   // set up by a fresh call of match_full
  char* usable_end;        // min(data_end, window_end)
  char* data_end;          // the bytes received so far end here
  uint32_t variables_set;  // 1 once any variable was stored
  char* variable_start[kVariableCount];
  uint16_t variable_length[kVariableCount];  // 0 is empty; longer stretches are cut to 16 bits
  MatchSource* source;     // none for a string in memory
  uint64_t full_steps;     // match_full's steps on this state (match_chain counts alike), summed
};

// Points the state at the text [begin, end) in memory, as a string: the byte at end is never
// consumed and nothing is pulled. Leaves the variables alone.
inline void set_string_window(MatchState* state, char* begin, char* end) {
  state->position = begin;
  state->window_end = end;
  state->data_end = end + 1;
  state->usable_end = end;
  state->frame = nullptr;
}

// Empties all ten variables.
inline void clear_variables(MatchState* state) {
  for (uint16_t& length : state->variable_length) length = 0;
  state->variables_set = 0;
}

// Whether the byte at p can be consumed, pulling through the source only when it is not
// already before usable end.
inline bool byte_available(MatchState* state, const char* p) {
  return p < state->usable_end ||
         (state->source != nullptr && state->source->pull(state, p) != 0);
}

}  // namespace kw
