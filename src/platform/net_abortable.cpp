// Abortable socket waits; see net_abortable.h.
#include "platform/net_abortable.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace kw {
namespace {

constexpr int kSliceMs = 50;

bool set_blocking(Socket s, bool on) {
  const int flags = ::fcntl(s, F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(s, F_SETFL, on ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

}  // namespace

bool net_wait_ready(Socket s, bool for_write, const KeepWaiting& keep_waiting) {
  pollfd p{s, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
  while (keep_waiting()) {
    const int rc = ::poll(&p, 1, kSliceMs);
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return false;
  }
  return false;
}

int net_connect_abortable(Socket s, uint32_t address, uint16_t port,
                          const KeepWaiting& keep_waiting) {
  if (!set_blocking(s, false)) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = address;
  a.sin_port = htons(port);
  int rc = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  bool connected = rc == 0;
  if (!connected && (errno == EINPROGRESS || errno == EINTR) && net_wait_ready(s, true, keep_waiting)) {
    int error = 0;
    socklen_t length = sizeof error;
    connected = ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  return set_blocking(s, true) && connected ? 1 : 0;
}

int net_local_address(Socket s, uint32_t* address) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0 || a.sin_family != AF_INET)
    return 0;
  *address = a.sin_addr.s_addr;
  return 1;
}

int net_reverse_lookup(uint32_t address, char* name, size_t size) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = address;
  return ::getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, name, size, nullptr, 0,
                       NI_NAMEREQD) == 0
             ? 1
             : 0;
}

}  // namespace kw
