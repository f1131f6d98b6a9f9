// Scripted origin server; see origin_server.h.
#include "support/origin_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "support/raw_client.h"

namespace kw::test {
namespace {

// Content-Length of a request head (0 when none).
size_t content_length(const std::string& head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  size_t at = lower.find("\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::strtoul(head.c_str() + at + 16, nullptr, 10);
}

// Reads the request head and its body; stops early when the peer closes or 10 s pass.
std::string read_request(int fd) {
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string data;
  size_t head_end = std::string::npos;
  char buffer[4096];
  for (;;) {
    if (head_end == std::string::npos) {
      size_t crlf = data.find("\r\n\r\n");
      if (crlf != std::string::npos) head_end = crlf + 4;
    }
    if (head_end != std::string::npos &&
        data.size() >= head_end + content_length(data.substr(0, head_end))) {
      return data;
    }
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return data;
    data.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

std::vector<ReplyPiece> split_reply(const std::string& reply, size_t size, int delay_ms) {
  std::vector<ReplyPiece> pieces;
  for (size_t at = 0; at < reply.size(); at += size) {
    pieces.push_back({reply.substr(at, size), delay_ms});
  }
  return pieces;
}

OriginServer::OriginServer(std::vector<ReplyPiece> script) : script_(std::move(script)) {
  listener_ = listen_on_loopback(&port_);
  acceptor_ = std::thread([this] { accept_loop(); });
}

OriginServer::OriginServer(std::function<std::string(int)> serve) : custom_(std::move(serve)) {
  listener_ = listen_on_loopback(&port_);
  acceptor_ = std::thread([this] { accept_loop(); });
}

OriginServer::OriginServer(const std::string& reply, uint16_t port)
    : script_{{reply, 0}}, port_(port) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 10)) {
    close(listener_);
    listener_ = -1;
  }
  acceptor_ = std::thread([this] { accept_loop(); });
}

OriginServer::~OriginServer() {
  stopping_ = true;
  changed_.notify_all();
  shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  if (listener_ >= 0) close(listener_);
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_) shutdown(fd, SHUT_RDWR);
  }
  for (std::thread& t : threads_) t.join();
}

std::string OriginServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> OriginServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool OriginServer::wait_for_requests(size_t n, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return requests_.size() >= n; });
}

void OriginServer::accept_loop() {
  for (;;) {
    int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    if (stopping_) {
      close(fd);
      return;
    }
    ++connections_;
    std::lock_guard lock(mutex_);
    open_.push_back(fd);
    threads_.emplace_back([this, fd] { serve(fd); });
  }
}

bool OriginServer::wait_or_stop(int delay_ms) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(delay_ms), [&] { return stopping_.load(); });
  return !stopping_;
}

void OriginServer::serve(int fd) {
  std::string request = custom_ ? custom_(fd) : read_request(fd);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();
  // Complete when every piece went out, each after its delay, before the server stopped.
  const bool complete = std::all_of(script_.begin(), script_.end(), [&](const ReplyPiece& piece) {
    return (piece.delay_ms <= 0 || wait_or_stop(piece.delay_ms)) && send_all(fd, piece.bytes);
  });
  if (complete) ++completed_;
  std::lock_guard lock(mutex_);
  shutdown(fd, SHUT_RDWR);
  close(fd);
  open_.erase(std::find(open_.begin(), open_.end(), fd));
}

}  // namespace kw::test
