// Collects the lines of a message head and sends them in as few sends as fit a 4 KiB buffer.
// The bytes on the wire are exactly the lines in order; only how many system calls carry them
// changes, which no peer can tell, and a browser connection with TCP_NODELAY is not sent one
// small packet per header line. Lives on the connection thread's stack for one head.
#pragma once

#include <cstddef>

#include "platform/net.h"

namespace kw {

class HeadWriter {
 public:
  explicit HeadWriter(Socket socket) : socket_(socket) {}
  HeadWriter(const HeadWriter&) = delete;
  HeadWriter& operator=(const HeadWriter&) = delete;

  // Each returns 1, or 0 once a send has failed (later calls then do nothing and return 0).
  int add(const char* text, size_t n);
  int add(const char* text);
  int add_header(const char* name, const char* value);  // "name: value\r\n"
  int flush();

 private:
  int send_all(const char* data, size_t n);

  Socket socket_;
  bool failed_ = false;
  size_t used_ = 0;  // buffer_[0, used_) waits to be sent
  char buffer_[4096];
};

}  // namespace kw
