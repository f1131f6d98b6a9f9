// In-memory ends of a connection for the fuzz targets. The engine reads and writes a message's
// bytes through its ByteStream whenever it has one, so a target drives the same parsers, relays
// and filters as a real connection, only without sockets or threads: one run costs a few
// allocations instead of two socket pairs and two threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "http/http_message.h"
#include "platform/byte_stream.h"

namespace kw::fuzz {

// A peer that sends the given pieces in turn and then closes in order. Each receive takes from
// one piece only (a piece larger than the receive is handed out over several), so the pieces
// decide where the stream is cut; empty pieces carry nothing and are skipped.
class PieceStream final : public ByteStream {
 public:
  explicit PieceStream(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {}

  int recv(void* data, int n) override {
    while (next_ < pieces_.size() && at_ == pieces_[next_].size()) {
      ++next_;
      at_ = 0;
    }
    if (next_ == pieces_.size() || n <= 0) return 0;
    const std::string& piece = pieces_[next_];
    const size_t count = std::min(static_cast<size_t>(n), piece.size() - at_);
    std::memcpy(data, piece.data() + at_, count);
    at_ += count;
    return static_cast<int>(count);
  }
  // This peer only sends.
  int send_all(const void*, size_t) override { return 0; }

 private:
  std::vector<std::string> pieces_;
  size_t next_ = 0;
  size_t at_ = 0;  // bytes of pieces_[next_] already handed out
};

// A peer that keeps at most `cap` bytes of what it is sent: the send that would pass the cap
// fails, and so does every later one, so that a filter list that rewrites without end makes the
// transfer fail instead of running forever. It never sends anything itself.
class CappedSink final : public ByteStream {
 public:
  explicit CappedSink(size_t cap) : cap_(cap) {}

  int recv(void*, int) override { return 0; }
  int send_all(const void* data, size_t n) override {
    if (capped_) return 0;
    if (n > cap_ - received_.size()) {
      received_.append(static_cast<const char*>(data), cap_ - received_.size());
      capped_ = true;
      return 0;
    }
    received_.append(static_cast<const char*>(data), n);
    return 1;
  }

  // What arrived: everything sent, or its first `cap` bytes when capped() says a send failed.
  const std::string& received() const { return received_; }
  bool capped() const { return capped_; }

 private:
  size_t cap_;
  std::string received_;
  bool capped_ = false;
};

// An HttpMessage with the records a connection gives it, which receives the given pieces and
// then sees its peer close. It has no socket at all: nothing reaches a real one. Pointing
// msg.stream elsewhere afterwards (a browser that has sent its request) keeps the records.
class FedMessage {
 public:
  explicit FedMessage(std::vector<std::string> pieces) : peer_(std::move(pieces)) {
    msg.filled = 0;
    msg.pos = 1;
    msg.socket = &socket_;
    msg.stream = &peer_;
    msg.line = line;
    msg.request = &request;
    msg.status = &status;
  }
  ~FedMessage() { free_headers(&msg); }
  FedMessage(const FedMessage&) = delete;
  FedMessage& operator=(const FedMessage&) = delete;

  HttpMessage msg{};
  RequestLine request{};
  StatusLine status{};
  char line[kLineBufferSize] = {};

 private:
  PieceStream peer_;
  Socket socket_ = kNoSocket;
};

// The text cut into pieces of `size` bytes.
inline std::vector<std::string> cut(const std::string& text, size_t size) {
  std::vector<std::string> pieces;
  for (size_t at = 0; at < text.size(); at += size) pieces.push_back(text.substr(at, size));
  return pieces;
}

}  // namespace kw::fuzz
