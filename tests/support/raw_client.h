// Plain POSIX socket helpers for tests: a listening socket on 127.0.0.1, a raw client that
// sends bytes and reads everything until the peer closes, and curl as a real browser. None of
// these sockets is entered in the engine's socket registry.
#pragma once

#include <cstdint>
#include <string>

namespace kw::test {

// A listening socket on 127.0.0.1 and a free port (stored in *port); aborts the test program
// when none can be had.
int listen_on_loopback(uint16_t* port);
// A port on 127.0.0.1 where nobody listens (ports are handed out in turn, so it stays free for
// the few seconds a test needs it).
uint16_t closed_port();
// 1 when all bytes were sent.
bool send_all(int fd, const std::string& bytes);

class RawClient {
 public:
  // Connects to 127.0.0.1:port from local_address (another 127.x.x.x address plays a peer from
  // outside). connected() tells whether it worked.
  explicit RawClient(uint16_t port, const char* local_address = "127.0.0.1");
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  bool send(const std::string& bytes);
  // Half-closes: the peer reads the end of the stream, replies still arrive.
  void shutdown_send();
  // Everything received until the peer closes (an orderly close or a reset both end it), or
  // until timeout_ms pass; closed() tells which.
  std::string read_all(int timeout_ms = 20000);
  // Reads until at least n bytes arrived, the peer closed or timeout_ms passed.
  std::string read_at_least(size_t n, int timeout_ms = 20000);
  bool closed() const { return closed_; }

 private:
  int fd_ = -1;
  bool closed_ = false;
};

// Sends request to 127.0.0.1:port and returns everything received until the peer closes.
std::string exchange(uint16_t port, const std::string& request, int timeout_ms = 20000);

// What curl prints fetching url through the proxy on 127.0.0.1:proxy_port; *status (when given)
// receives its wait status, 0 for success. options go before the proxy option unquoted.
std::string curl_through(uint16_t proxy_port, const std::string& url, int max_seconds = 20,
                         int* status = nullptr, const std::string& options = "");

}  // namespace kw::test
