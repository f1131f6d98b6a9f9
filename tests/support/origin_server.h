// A scripted origin server for whole-proxy tests, on 127.0.0.1 and a free port. Every
// connection it accepts is served on a thread of its own: it reads the request (head, then a
// body of its Content-Length), sends the scripted reply piece by piece, each after its delay,
// and closes. A script that stops short of its own Content-Length is a server that closes
// mid-body. The server's sockets are plain POSIX sockets, outside the engine's socket registry,
// so killing the proxy's connections never touches them. The destructor stops everything,
// including replies still being sent.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kw::test {

struct ReplyPiece {
  std::string bytes;
  int delay_ms = 0;  // wait before sending this piece
};

// The reply cut into pieces of `size` bytes, each sent after delay_ms.
std::vector<ReplyPiece> split_reply(const std::string& reply, size_t size, int delay_ms = 0);

class OriginServer {
 public:
  explicit OriginServer(std::vector<ReplyPiece> script);
  explicit OriginServer(const std::string& reply)
      : OriginServer(std::vector<ReplyPiece>{ReplyPiece{reply, 0}}) {}
  // A peer that runs `serve` on each connection instead of reading a request and replying;
  // what serve returns is recorded as that connection's request.
  explicit OriginServer(std::function<std::string(int fd)> serve);
  // The reply served on `port` of every address, as another program holding a fixed port
  // would; bound() tells whether the port could be had.
  OriginServer(const std::string& reply, uint16_t port);
  ~OriginServer();
  OriginServer(const OriginServer&) = delete;
  OriginServer& operator=(const OriginServer&) = delete;

  uint16_t port() const { return port_; }
  bool bound() const { return listener_ >= 0; }
  // "http://127.0.0.1:PORT" followed by path.
  std::string url(const std::string& path) const;
  // The requests received so far, as bytes.
  std::vector<std::string> requests() const;
  int connections() const { return connections_.load(); }
  // Waits (up to timeout_ms) until n requests have been read.
  bool wait_for_requests(size_t n, int timeout_ms = 10000) const;
  // Replies sent to the end (every piece went out).
  int replies_completed() const { return completed_.load(); }

 private:
  void accept_loop();
  void serve(int fd);
  bool wait_or_stop(int delay_ms);

  std::vector<ReplyPiece> script_;
  std::function<std::string(int)> custom_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> completed_{0};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> requests_;
  std::vector<int> open_;  // connection sockets being served
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};

}  // namespace kw::test
