// POSIX implementation of the socket layer; see net.h for the start/cleanup contract.
#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace kw {
namespace {

// Registered descriptors, each with the flag "shut down by net_cleanup".
struct Registry {
  std::mutex mutex;
  std::unordered_map<int, bool> sockets;
  bool started = false;
  uint64_t generation = 0;  // advanced by every net_cleanup
};

Registry& registry() {
  static Registry r;
  return r;
}

thread_local int last_error = 0;

int fail() {
  last_error = errno;
  return -1;
}

void ignore_sigpipe_once() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

bool register_socket(int fd, uint64_t generation_seen) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.sockets[fd] = false;
  // A cleanup that ran while this descriptor was being made must still end it.
  if (!r.started || r.generation != generation_seen) {
    r.sockets[fd] = true;
    ::shutdown(fd, SHUT_RDWR);
    return false;
  }
  return true;
}

bool was_killed(int fd) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.sockets.find(fd);
  return it != r.sockets.end() && it->second;
}

// Repeats a transfer call that a signal interrupted before it moved anything.
template <typename Call>
ssize_t without_eintr(Call call) {
  ssize_t moved;
  do {
    moved = call();
  } while (moved < 0 && errno == EINTR);
  return moved;
}

int sent_count(ssize_t sent) { return sent < 0 ? fail() : static_cast<int>(sent); }

// A socket shut down by net_cleanup reads as a failure, not as the peer's orderly close.
int received_count(Socket s, ssize_t got) {
  if (got < 0) return fail();
  if (got == 0 && was_killed(s)) {
    last_error = ECONNABORTED;
    return -1;
  }
  return static_cast<int>(got);
}

uint64_t current_generation(bool* started) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  *started = r.started;
  return r.generation;
}

int set_int_option(Socket s, int level, int name) {
  int one = 1;
  if (::setsockopt(s, level, name, &one, sizeof one) != 0) return fail() + 1;
  return 1;
}

}  // namespace

int net_startup() {
  ignore_sigpipe_once();
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.started = true;
  return 1;
}

void net_cleanup() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.started = false;
  ++r.generation;
  for (auto& [fd, killed] : r.sockets) {
    killed = true;
    ::shutdown(fd, SHUT_RDWR);
  }
}

bool net_started() {
  bool started = false;
  current_generation(&started);
  return started;
}

uint64_t net_cleanups() {
  bool started = false;
  return current_generation(&started);
}

Socket net_socket_tcp() {
  bool started = false;
  uint64_t generation = current_generation(&started);
  if (!started) {
    last_error = ENETDOWN;
    return kNoSocket;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail();
  register_socket(fd, generation);
  return fd;
}

int net_close(Socket s) {
  if (s == kNoSocket) return 1;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.sockets.erase(s);
  }
  ::close(s);
  return 1;
}

void net_shutdown(Socket s) {
  if (s != kNoSocket) ::shutdown(s, SHUT_RDWR);
}

int net_set_nodelay(Socket s) { return set_int_option(s, IPPROTO_TCP, TCP_NODELAY); }

int net_set_reuseaddr(Socket s) { return set_int_option(s, SOL_SOCKET, SO_REUSEADDR); }

namespace {

int bind_to(Socket s, uint32_t host_order_address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(host_order_address);
  a.sin_port = htons(port);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return fail() + 1;
  return 1;
}

}  // namespace

int net_bind_loopback(Socket s, uint16_t port) { return bind_to(s, INADDR_LOOPBACK, port); }

int net_bind_any(Socket s, uint16_t port) { return bind_to(s, INADDR_ANY, port); }

int net_listen(Socket s, int backlog) {
  if (::listen(s, backlog) != 0) return fail() + 1;
  return 1;
}

uint16_t net_local_port(Socket s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

Socket net_accept(Socket listener, uint32_t* peer_address) {
  bool started = false;
  uint64_t generation = current_generation(&started);
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  int fd;
  do {
    len = sizeof peer;
    fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail();
  if (!register_socket(fd, generation)) {
    net_close(fd);
    last_error = ECONNABORTED;
    return kNoSocket;
  }
  if (peer_address) *peer_address = peer.sin_addr.s_addr;
  return fd;
}

int net_connect(Socket s, uint32_t address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = address;
  a.sin_port = htons(port);
  int rc;
  do {
    rc = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return fail() + 1;
  return 1;
}

int net_send(Socket s, const void* data, int n) {
  return sent_count(
      without_eintr([&] { return ::send(s, data, static_cast<size_t>(n), MSG_NOSIGNAL); }));
}

int net_send_all(Socket s, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const int piece = n > (size_t{1} << 30) ? 1 << 30 : static_cast<int>(n);
    const int sent = net_send(s, p, piece);
    if (sent <= 0) return 0;
    p += sent;
    n -= static_cast<size_t>(sent);
  }
  return 1;
}

int net_recv(Socket s, void* data, int n) {
  return received_count(s,
                        without_eintr([&] { return ::recv(s, data, static_cast<size_t>(n), 0); }));
}

int net_recv_nowait(Socket s, void* data, int n) {
  const ssize_t got =
      without_eintr([&] { return ::recv(s, data, static_cast<size_t>(n), MSG_DONTWAIT); });
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kNetNothingYet;
  return received_count(s, got);
}

int net_splice_from(Socket s, int pipe_write, int n) {
  return received_count(s, without_eintr([&] {
                          return ::splice(s, nullptr, pipe_write, nullptr, static_cast<size_t>(n),
                                          SPLICE_F_MOVE);
                        }));
}

int net_splice_to(Socket s, int pipe_read, int n) {
  return sent_count(without_eintr([&] {
    return ::splice(pipe_read, nullptr, s, nullptr, static_cast<size_t>(n), SPLICE_F_MOVE);
  }));
}

int net_send_nowait(Socket s, const void* data, int n) {
  ssize_t sent = without_eintr(
      [&] { return ::send(s, data, static_cast<size_t>(n), MSG_NOSIGNAL | MSG_DONTWAIT); });
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  return sent_count(sent);
}

void net_shutdown_send(Socket s) {
  if (s != kNoSocket) ::shutdown(s, SHUT_WR);
}

int net_wait(NetWaitItem* items, int n) {
  pollfd fds[8];
  if (n < 1 || n > 8) return -1;
  for (int i = 0; i < n; ++i) {
    fds[i] = {items[i].socket, 0, 0};
    if (items[i].read) fds[i].events |= POLLIN;
    if (items[i].write) fds[i].events |= POLLOUT;
  }
  int ready;
  do {
    ready = ::poll(fds, static_cast<nfds_t>(n), -1);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return fail();
  for (int i = 0; i < n; ++i) {
    const bool broken = (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
    items[i].readable = items[i].read && (broken || (fds[i].revents & POLLIN) != 0);
    items[i].writable = items[i].write && (broken || (fds[i].revents & POLLOUT) != 0);
  }
  return ready;
}

int net_last_error() { return last_error; }

int net_lookup_ipv4(const char* host, uint32_t* address) {
  in_addr a{};
  if (::inet_pton(AF_INET, host, &a) == 1) {
    *address = a.s_addr;
    return 1;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (*host == '\0' || ::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
    return 0;
  }
  *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return 1;
}

void net_format_ipv4(uint32_t address, char* out) {
  in_addr a{};
  a.s_addr = address;
  if (!::inet_ntop(AF_INET, &a, out, 16)) std::strcpy(out, "?");
}

}  // namespace kw
