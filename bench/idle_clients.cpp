// Opens N connections to 127.0.0.1:PORT, sends each the start of a request (no end of head, so
// the proxy's connection thread waits for more), and holds them until standard input closes.
// Prints "ready" once all are open. Used to measure what an idle connection costs.
//
//   idle_clients PORT N
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: idle_clients PORT N\n");
    return 2;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  std::vector<int> open;
  const char start[] = "GET http://127.0.0.1/idle HTTP/1.0\r\nX-Waiting: ";
  for (int i = 0; i < std::atoi(argv[2]); ++i) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      std::perror("idle_clients");
      return 1;
    }
    send(fd, start, sizeof start - 1, 0);
    open.push_back(fd);
  }
  std::printf("ready\n");
  std::fflush(stdout);
  char c;
  while (read(0, &c, 1) > 0) {
  }
  for (int fd : open) close(fd);
  return 0;
}
