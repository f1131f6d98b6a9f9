// The accept loop of the benchmark's small servers: listens on 127.0.0.1 (port 0 picks one),
// prints "listening on PORT" for the driving script, and hands every accepted connection to a
// detached thread running serve(fd), which owns and closes the descriptor.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <thread>

// Returns only when the listener cannot be set up (1, after a message naming `who`).
template <typename Serve>
int serve_loopback(uint16_t port, int backlog, const char* who, Serve serve) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  socklen_t len = sizeof a;
  if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listener, backlog) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::perror(who);
    return 1;
  }
  std::printf("listening on %d\n", ntohs(a.sin_port));
  std::fflush(stdout);
  for (;;) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd >= 0) std::thread(serve, fd).detach();
  }
}
