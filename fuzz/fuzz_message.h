// Feeds fuzzer input to an HttpMessage through a local socket pair, as a peer would send it:
// the first input byte chooses how the rest is cut into receives, and the writer closes its end
// after the last piece.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <thread>

#include "engine/http_message.h"

namespace kw::fuzz {

class FuzzMessage {
 public:
  FuzzMessage(const uint8_t* data, size_t size) {
    size_t cut = size > 0 ? data[0] % 64 + 1 : 1;
    if (size > 0) {
      ++data;
      --size;
    }
    int fds[2];
    socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds);
    socket_ = fds[0];
    writer_fd_ = fds[1];
    msg.filled = 0;
    msg.pos = 1;
    msg.socket = &socket_;
    msg.line = line;
    msg.request = &request;
    msg.status = &status;
    writer_ = std::thread([this, data, size, cut] {
      for (size_t at = 0; at < size; at += cut) {
        size_t n = size - at < cut ? size - at : cut;
        if (::send(writer_fd_, data + at, n, MSG_NOSIGNAL) < 0) break;
      }
      ::shutdown(writer_fd_, SHUT_WR);
    });
  }
  ~FuzzMessage() {
    ::shutdown(socket_, SHUT_RDWR);
    writer_.join();
    free_headers(&msg);
    ::close(socket_);
    ::close(writer_fd_);
  }

  HttpMessage msg{};
  RequestLine request{};
  StatusLine status{};
  char line[kLineBufferSize] = {};

 private:
  Socket socket_;
  int writer_fd_;
  std::thread writer_;
};

}  // namespace kw::fuzz
