// An HttpMessage that reads from one end of a local socket pair whose other end a writer thread
// feeds with chosen pieces. The pair is SOCK_SEQPACKET, so each piece arrives as exactly one
// receive: a test decides where the stream is cut. After the last piece the writer closes its
// end (the peer "closes").
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "http/http_message.h"

namespace kw::test {

class FedMessage {
 public:
  explicit FedMessage(std::vector<std::string> pieces) {
    socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds_);
    msg.pos = 1;  // a fresh record: nothing buffered
    msg.socket = &fds_[0];
    msg.line = line;
    msg.request = &request;
    msg.status = &status;
    writer_ = std::thread([this, pieces = std::move(pieces)] {
      // A record longer than the reader's 2048-byte receive would be cut, so longer pieces
      // go as several records.
      for (const std::string& p : pieces) {
        for (size_t at = 0; at < p.size() || at == 0; at += kReceiveBufferSize) {
          size_t n = std::min(p.size() - at, static_cast<size_t>(kReceiveBufferSize));
          if (::send(fds_[1], p.data() + at, n, MSG_NOSIGNAL) < 0) return;
        }
      }
      ::shutdown(fds_[1], SHUT_WR);
    });
  }
  ~FedMessage() {
    ::shutdown(fds_[0], SHUT_RDWR);
    writer_.join();
    free_headers(&msg);
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

  // The text cut into pieces of `size` bytes.
  static std::vector<std::string> cut(const std::string& text, size_t size) {
    std::vector<std::string> pieces;
    for (size_t at = 0; at < text.size(); at += size) pieces.push_back(text.substr(at, size));
    return pieces;
  }

  // Everything still unread (buffered and not yet received), until the writer closes.
  std::string rest() {
    std::string out;
    if (msg.pos < msg.filled) out.assign(msg.buffer + msg.pos, msg.buffer + msg.filled);
    msg.pos = msg.filled;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(fds_[0], buffer, sizeof buffer, 0)) > 0;) {
      out.append(buffer, got);
    }
    return out;
  }

  HttpMessage msg{};
  RequestLine request{};
  StatusLine status{};
  char line[kLineBufferSize] = {};

 private:
  Socket fds_[2];  // the message's end, the writer's end
  std::thread writer_;
};

// The `to` side of relays: a stream socket pair whose far end a reader thread drains, so what
// is sent to `msg` can be read back whole, however large.
class SinkMessage {
 public:
  SinkMessage() {
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_);
    msg.socket = &fds_[0];
    reader_ = std::thread([this] {
      char buffer[65536];
      for (ssize_t got; (got = ::recv(fds_[1], buffer, sizeof buffer, 0)) > 0;) {
        data_.append(buffer, got);
      }
    });
  }
  ~SinkMessage() {
    received();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

  // Closes the sending side and returns everything sent.
  std::string received() {
    if (reader_.joinable()) {
      ::shutdown(fds_[0], SHUT_WR);
      reader_.join();
    }
    return data_;
  }

  HttpMessage msg{};

 private:
  Socket fds_[2];  // the message's end, the reader's end
  std::string data_;
  std::thread reader_;
};

}  // namespace kw::test
