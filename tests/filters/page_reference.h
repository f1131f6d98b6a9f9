// A small, obviously correct model of the page scan for checking the real one: the whole body
// in one string, every filter tried at every position in list order, a re-scanned replacement
// put in front of the rest of the body, no buffers, no queues and no shortcuts.
#pragma once

#include <string>
#include <vector>

#include "engine/http_message.h"
#include "filters/web_filter.h"

namespace kw::test {

// The body as the browser should receive it after `filters` (a page's list, in order).
// `client` supplies the request line for URL codes in replacements (may be none).
std::string reference_scan(const std::vector<const WebFilter*>& filters, const std::string& body,
                           HttpMessage* client = nullptr);

}  // namespace kw::test
