// The state of a page transfer's scan, or of one header filtering pass, around its matches.
//
// A MatchContext belongs to one thread: the page transfer keeps one for a whole body, header
// filtering one per pass. The matchers see only its MatchState; the page scan owns the buffer
// fields and the pending start. For a body, input is the server connection and the source
// pulls bytes into the current buffer at data end as a step needs them (see pull_input.h).
#pragma once

#include "filters/match_state.h"
#include "http/http_message.h"

namespace kw {

class PageOutput;
class ScanWatcher;

struct MatchContext : MatchState {
  char* pending_start;  // bytes [pending_start, scan position) are scanned but not yet sent
  char* buffer_end;     // last usable byte of the current buffer (its size less one)
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
  // Told of every match of the page scan instead of the log: a filter being tried. None for a
  // page transfer.
  ScanWatcher* watcher;
};

}  // namespace kw
