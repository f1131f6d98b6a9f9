// Request lines as a browser might send them: every position the parser reports must lie inside
// the parsed text, and the lengths must agree with the positions.
#include <cstdlib>

#include "fuzz_message.h"
#include "http/http_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kw::fuzz::FuzzMessage fed(data, size);
  while (kw::read_line(&fed.msg, fed.line, kw::kLineBufferSize) > 0) {
    if (kw::parse_request_line(&fed.msg) != 1) continue;
    const kw::RequestLine& r = fed.request;
    const char* end = r.text + sizeof r.text;
    if (r.url_end < r.text || r.url_end >= end || *r.url_end != '\0') std::abort();
    if (r.host + r.host_len > r.url_end || r.path + r.path_len > r.url_end) std::abort();
    if (*r.path != '/' || r.method_len < 0 || r.consumed > sizeof r.text) std::abort();
  }
  return 0;
}
