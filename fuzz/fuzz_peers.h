// The two ends of a transfer for the body and header targets: the server side is fed chosen
// pieces, the browser side has a parsed request line and sends into a CappedSink.
#pragma once

#include <string>
#include <vector>

#include "http/http_message.h"
#include "memory_streams.h"

namespace kw::fuzz {

// The body cut into pieces whose sizes (1 to 64 bytes) are taken in turn from `sizes`.
inline std::vector<std::string> cut_by(const std::string& body, const std::string& sizes) {
  if (sizes.empty()) return cut(body, body.size() + 1);
  std::vector<std::string> pieces;
  size_t turn = 0;
  for (size_t at = 0; at < body.size(); ++turn) {
    const size_t n = static_cast<uint8_t>(sizes[turn % sizes.size()]) % 64 + 1;
    pieces.push_back(body.substr(at, n));
    at += n;
  }
  return pieces;
}

// A browser whose request line was parsed from "GET <url> HTTP/1.0" and which then sends into
// the sink.
class FuzzBrowser {
 public:
  FuzzBrowser(const std::string& url, CappedSink& sink)
      : fed_({"GET " + url + " HTTP/1.0\r\n\r\n"}) {
    parse_request_line(&fed_.msg);
    fed_.msg.stream = &sink;
  }
  HttpMessage* msg() { return &fed_.msg; }

 private:
  FedMessage fed_;
};

}  // namespace kw::fuzz
