// Request lines as a browser might send them: every position the parser reports must lie inside
// the parsed text, and the lengths must agree with the positions. CONNECT lines go to their own
// parser, which must name a non-empty host and a port from 1 up whenever it accepts.
#include <cstdlib>

#include "engine/tunnel.h"
#include "fuzz_message.h"
#include "http/http_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kw::fuzz::FuzzMessage fed(data, size);
  while (kw::read_line(&fed.msg, fed.line, kw::kLineBufferSize) > 0) {
    const kw::RequestLine& r = fed.request;
    const bool tunnel = kw::is_connect_request(fed.line) == 1;
    const int accepted =
        tunnel ? kw::parse_connect_line(&fed.msg) : kw::parse_request_line(&fed.msg);
    // A refused CONNECT line still fills the record, for the log.
    if (accepted != 1 && !tunnel) continue;
    const char* end = r.text + sizeof r.text;
    if (r.url_end < r.text || r.url_end >= end || *r.url_end != '\0') std::abort();
    if (r.host + r.host_len > r.url_end || r.path + r.path_len > r.url_end) std::abort();
    if (tunnel) {
      if (accepted == 1 && (r.host_len < 1 || r.port < 1)) std::abort();
      continue;
    }
    if (*r.path != '/' || r.method_len < 0 || r.consumed > sizeof r.text) std::abort();
  }
  return 0;
}
