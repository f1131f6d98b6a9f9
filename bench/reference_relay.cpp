// The reference the whole-proxy benchmark measures Kestrelwick against: the least a
// thread-per-connection relay can do. Each accepted connection gets a thread that connects to
// one fixed upstream (nginx on 127.0.0.1) and copies both directions through 64 KiB buffers
// until either side closes. No parsing, no logging.
//
//   reference_relay LISTEN_PORT UPSTREAM_PORT     (LISTEN_PORT 0 picks one; it is printed)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "loopback_server.h"

namespace {

uint16_t upstream_port = 0;

bool copy_once(int from, int to, char* buffer) {
  ssize_t got = recv(from, buffer, 65536, 0);
  if (got <= 0) return false;
  for (ssize_t done = 0; done < got;) {
    ssize_t sent = send(to, buffer + done, static_cast<size_t>(got - done), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    done += sent;
  }
  return true;
}

void relay(int client) {
  int one = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  int upstream = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(upstream_port);
  if (connect(upstream, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    char up[65536], down[65536];  // on the thread's stack: nothing to clear per connection
    pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
    while (poll(fds, 2, -1) > 0) {
      if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !copy_once(client, upstream, up))
        break;
      if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !copy_once(upstream, client, down))
        break;
    }
  }
  close(upstream);
  close(client);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: reference_relay LISTEN_PORT UPSTREAM_PORT\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  upstream_port = static_cast<uint16_t>(std::atoi(argv[2]));
  return serve_loopback(static_cast<uint16_t>(std::atoi(argv[1])), 128, "reference_relay", relay);
}
