// Collects the lines of a message head and sends them in as few sends as fit 4 KiB, so a
// browser connection is not sent one small packet per header line. Lives on the connection
// thread's stack for one head.
#pragma once

#include <cstring>

#include "platform/send_queue.h"

namespace kw {

class HeadWriter : public SendQueue<4096> {
 public:
  using SendQueue::SendQueue;

  // Each returns 1, or 0 once a send has failed (later calls then do nothing and return 0).
  int add(const char* text, size_t n) { return write(text, n) ? 1 : 0; }
  int add(const char* text) { return add(text, std::strlen(text)); }
  int add_header(const char* name, const char* value) {  // "name: value\r\n"
    return add(name) && add(": ", 2) && add(value) && add("\r\n", 2);
  }
};

}  // namespace kw
