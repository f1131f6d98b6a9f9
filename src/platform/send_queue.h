// Bytes on their way out of one socket, collected so that they leave in few large sends instead
// of one per piece. The bytes on the wire are exactly the pieces in order; only the number of
// system calls that carry them changes, which no peer can tell, and a connection with
// TCP_NODELAY is not sent one small packet per piece. The owner decides when to flush (at the
// latest before it waits for anything). Lives on one thread, usually on its stack.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/byte_stream.h"

namespace kw {

template <size_t Capacity>
class SendQueue {
 public:
  explicit SendQueue(Socket socket, ByteStream* stream = nullptr)
      : socket_(socket), stream_(stream) {}
  virtual ~SendQueue() = default;
  SendQueue(const SendQueue&) = delete;
  SendQueue& operator=(const SendQueue&) = delete;

  // Queues n bytes; a piece that does not fit first sends what is queued, and a piece as large
  // as the queue then goes out at once. False once a send has failed; later bytes are dropped.
  bool write(const char* data, size_t n) {
    if (failed_) return false;
    if (n > Capacity - queued_) {
      if (!flush()) return false;
      if (n >= Capacity) return send_all(data, n);
    }
    std::memcpy(queue_ + queued_, data, n);
    queued_ += n;
    return true;
  }

  // Sends everything queued. False once a send has failed.
  bool flush() {
    if (queued_ > 0 && !failed_) send_all(queue_, queued_);
    queued_ = 0;
    return !failed_;
  }

  bool failed() const { return failed_; }

 protected:
  // Where the bytes go: the socket, or the stream over it. A queue that collects into memory
  // instead replaces it.
  virtual bool deliver(const char* data, size_t n) {
    return stream_send_all(socket_, stream_, data, n) != 0;
  }

 private:
  bool send_all(const char* data, size_t n) {
    if (!failed_ && !deliver(data, n)) failed_ = true;
    return !failed_;
  }

  Socket socket_;
  ByteStream* stream_;
  bool failed_ = false;
  size_t queued_ = 0;
  char queue_[Capacity];  // queue_[0, queued_) waits to be sent
};

}  // namespace kw
