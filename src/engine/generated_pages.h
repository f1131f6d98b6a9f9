// The HTML pages the proxy answers with when it cannot reach a site. Both share one frame whose
// pictures the browser loads from the html folder beside the program, through a file:// base
// URL. Called on the connection thread, after the caller sent the status line.
#pragma once

#include "http/http_message.h"

namespace kw {

// The two page texts; each holds one "%s" where the inserted text goes.
extern const char kHostLookupFailedPage[];
extern const char kConnectFailedPage[];
extern const char kBadTunnelTargetPage[];
extern const char kSecureSiteFailedPage[];

// The status line and empty header block sent before either page.
inline constexpr char kHostNotFoundHead[] = "HTTP/1.0 400 Host Not Found\r\n\r\n";

// Sends the framed page to msg's socket with `text` in place of the page's "%s". text null is
// an empty text; text_len 0 inserts the whole terminated text, otherwise its first text_len
// characters. The text comes from the browser's request, so it is HTML-escaped (& < > " ')
// and can never add markup to the page. Send results are not checked. Returns 1.
int send_error_page(HttpMessage* msg, const char* page_text, const char* text, int text_len);

}  // namespace kw
