// A connection side whose bytes pass through something other than the bare socket, such as an
// encrypted session over it. Code that moves a message's bytes takes the socket and an optional
// stream: without a stream (the common case) the socket is used directly, so a plain
// connection pays one pointer test per call. A stream lives on its connection thread.
#pragma once

#include <cstddef>

#include "platform/net.h"

namespace kw {

class ByteStream {
 public:
  // Bytes received, 0 when the peer closed in order, -1 on error (as net_recv).
  virtual int recv(void* data, int n) = 0;
  // 1 when all n bytes went out, 0 when a send failed (as net_send_all).
  virtual int send_all(const void* data, size_t n) = 0;

 protected:
  ~ByteStream() = default;
};

inline int stream_recv(Socket s, ByteStream* over, void* data, int n) {
  return over != nullptr ? over->recv(data, n) : net_recv(s, data, n);
}
inline int stream_send_all(Socket s, ByteStream* over, const void* data, size_t n) {
  return over != nullptr ? over->send_all(data, n) : net_send_all(s, data, n);
}

}  // namespace kw
