// The two ends of a transfer for the body and header targets: the server side is fed chosen
// pieces (the engine tests' FedMessage), the browser side has a parsed request line and sends
// into a sink that keeps at most a given number of bytes, then closes, so that a filter list
// that rewrites without end makes the transfer fail instead of running forever.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/fed_message.h"
#include "http/http_message.h"

namespace kw::fuzz {

// The body cut into pieces whose sizes (1 to 64 bytes) are taken in turn from `sizes`.
inline std::vector<std::string> cut_by(const std::string& body, const std::string& sizes) {
  if (sizes.empty()) return test::FedMessage::cut(body, body.size() + 1);
  std::vector<std::string> pieces;
  size_t turn = 0;
  for (size_t at = 0; at < body.size(); ++turn) {
    const size_t n = static_cast<uint8_t>(sizes[turn % sizes.size()]) % 64 + 1;
    pieces.push_back(body.substr(at, n));
    at += n;
  }
  return pieces;
}

class CappedSink {
 public:
  explicit CappedSink(size_t cap) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
    socket_ = fds[0];
    peer_ = fds[1];
    reader_ = std::thread([this, cap] {
      char buffer[16384];
      ssize_t got;
      while ((got = ::recv(peer_, buffer, sizeof buffer, 0)) > 0) {
        data_.append(buffer, static_cast<size_t>(got));
        if (data_.size() > cap) {
          capped_ = true;
          break;
        }
      }
      ::shutdown(peer_, SHUT_RDWR);
    });
  }
  ~CappedSink() {
    received();
    ::close(socket_);
    ::close(peer_);
  }
  CappedSink(const CappedSink&) = delete;
  CappedSink& operator=(const CappedSink&) = delete;

  Socket* socket() { return &socket_; }
  // Closes the sending side and returns what arrived (only the first cap + some bytes when
  // capped() says the reader gave up).
  const std::string& received() {
    if (reader_.joinable()) {
      ::shutdown(socket_, SHUT_WR);
      reader_.join();
    }
    return data_;
  }
  bool capped() {
    received();
    return capped_;
  }

 private:
  Socket socket_;
  int peer_;
  std::string data_;
  bool capped_ = false;
  std::thread reader_;
};

// A browser whose request line was parsed from "GET <url> HTTP/1.0" and whose socket is a
// sink's.
class FuzzBrowser {
 public:
  FuzzBrowser(const std::string& url, CappedSink& sink)
      : fed_({"GET " + url + " HTTP/1.0\r\n\r\n"}) {
    parse_request_line(&fed_.msg);
    fed_.msg.socket = sink.socket();
  }
  HttpMessage* msg() { return &fed_.msg; }

 private:
  test::FedMessage fed_;
};

}  // namespace kw::fuzz
