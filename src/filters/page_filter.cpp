// Web page filter stream. No web filters exist yet, so the body is relayed unchanged.
#include "filters/page_filter.h"

namespace kw {

int filter_page_body(HttpMessage* server, HttpMessage* browser, const char* content_type) {
  return relay_to_end(server, browser) > 0 ? 1 : 0;
}

}  // namespace kw
