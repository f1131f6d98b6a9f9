// The web page filter stream: rewrites a text reply's body while it streams from the server to
// the browser. Called on the connection thread once per filtered reply, after the reply head
// went out; the server message's buffer may already hold the first bytes of the body.
#pragma once

#include "engine/http_message.h"

namespace kw {

// Sends the whole body, filtered, to the browser until the server closes. The result only
// tells the caller whether the transfer counts as done (nonzero) or not (0).
int filter_page_body(HttpMessage* server, HttpMessage* browser, const char* content_type);

}  // namespace kw
