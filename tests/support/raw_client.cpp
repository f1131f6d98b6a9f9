// Raw POSIX clients and listeners for tests; see raw_client.h.
#include "support/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kw::test {

int listen_on_loopback(uint16_t* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 64) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::perror("listen_on_loopback");
    std::abort();
  }
  *port = ntohs(a.sin_port);
  return fd;
}

uint16_t closed_port() {
  uint16_t port = 0;
  close(listen_on_loopback(&port));
  return port;
}

bool send_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

RawClient::RawClient(uint16_t port, const char* local_address) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, local_address, &local.sin_addr);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  remote.sin_port = htons(port);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

RawClient::~RawClient() {
  if (fd_ >= 0) close(fd_);
}

bool RawClient::send(const std::string& bytes) { return fd_ >= 0 && send_all(fd_, bytes); }

void RawClient::shutdown_send() {
  if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

std::string RawClient::read_at_least(size_t n, int timeout_ms) {
  std::string data;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buffer[65536];
  while (fd_ >= 0 && !closed_ && data.size() < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) {
      closed_ = true;
      break;
    }
    data.append(buffer, static_cast<size_t>(got));
  }
  return data;
}

std::string RawClient::read_all(int timeout_ms) { return read_at_least(SIZE_MAX, timeout_ms); }

std::string exchange(uint16_t port, const std::string& request, int timeout_ms) {
  RawClient client(port);
  client.send(request);
  return client.read_all(timeout_ms);
}

std::string curl_through(uint16_t proxy_port, const std::string& url, int max_seconds,
                         int* status, const std::string& options) {
  const std::string command = "curl -s " + options + " --max-time " + std::to_string(max_seconds) +
                              " -x http://127.0.0.1:" + std::to_string(proxy_port) + " '" + url +
                              "' 2>&1";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
  const int result = pclose(pipe);
  if (status) *status = result;
  return out;
}

}  // namespace kw::test
