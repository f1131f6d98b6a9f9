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
    writer_ = std::thread([this, pieces = std::move(pieces)] {
      // A record longer than the reader's 2048-byte receive would be cut, so longer pieces
      // go as several records.
      for (const std::string& p : pieces) {
        for (size_t at = 0; at < p.size() || at == 0; at += kReceiveBufferSize) {
          size_t n = std::min(p.size() - at, static_cast<size_t>(kReceiveBufferSize));
          if (::send(writer_fd_, p.data() + at, n, MSG_NOSIGNAL) < 0) return;
        }
      }
      ::shutdown(writer_fd_, SHUT_WR);
    });
  }
  ~FedMessage() {
    ::shutdown(socket_, SHUT_RDWR);
    writer_.join();
    free_headers(&msg);
    ::close(socket_);
    ::close(writer_fd_);
  }
  FedMessage(const FedMessage&) = delete;
  FedMessage& operator=(const FedMessage&) = delete;

  // The text cut into pieces of `size` bytes.
  static std::vector<std::string> cut(const std::string& text, size_t size) {
    std::vector<std::string> pieces;
    for (size_t at = 0; at < text.size(); at += size) pieces.push_back(text.substr(at, size));
    return pieces;
  }

  // Everything still unread (buffered and not yet received), until the writer closes.
  std::string rest() {
    std::string out(msg.buffer + (msg.pos < msg.filled ? msg.pos : 0),
                    msg.pos < msg.filled ? static_cast<size_t>(msg.filled - msg.pos) : 0);
    msg.pos = msg.filled;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(socket_, buffer, sizeof buffer, 0)) > 0) out.append(buffer, got);
    return out;
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

// The `to` side of relays: a stream socket pair whose far end a reader thread drains, so what
// is sent to `msg` can be read back whole, however large.
class SinkMessage {
 public:
  SinkMessage() {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
    socket_ = fds[0];
    peer_ = fds[1];
    msg.socket = &socket_;
    reader_ = std::thread([this] {
      char buffer[65536];
      ssize_t got;
      while ((got = ::recv(peer_, buffer, sizeof buffer, 0)) > 0) data_.append(buffer, got);
    });
  }
  ~SinkMessage() {
    received();
    ::close(socket_);
    ::close(peer_);
  }
  SinkMessage(const SinkMessage&) = delete;
  SinkMessage& operator=(const SinkMessage&) = delete;

  // Closes the sending side and returns everything sent.
  std::string received() {
    if (reader_.joinable()) {
      ::shutdown(socket_, SHUT_WR);
      reader_.join();
    }
    return data_;
  }

  HttpMessage msg{};

 private:
  Socket socket_;
  int peer_;
  std::string data_;
  std::thread reader_;
};

}  // namespace kw::test
