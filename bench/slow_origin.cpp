// An origin that sends its page slowly, for the time-to-first-byte measurement: the reply head
// and a first piece at once, then one 1 KiB piece every 50 ms, 20 in all (about one second).
// A relay that waits for more than it has before passing bytes on shows up at once. The page is
// 20 KiB of text/plain, or with FILE the first 20 KiB of that file as text/html (a page the
// proxy filters).
//
//   slow_origin PORT [FILE]     (PORT 0 picks one; it is printed)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "loopback_server.h"

namespace {

constexpr size_t kPiece = 1024;
constexpr int kPieces = 20;
std::string page(kPieces* kPiece, 's');  // set once before the first connection
const char* type = "text/plain";

void serve(int fd) {
  char buffer[4096];
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<size_t>(got));
  }
  std::string head = std::string("HTTP/1.0 200 OK\r\nContent-Type: ") + type +
                     "\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n";
  std::string first = head + page.substr(0, kPiece);
  send(fd, first.data(), first.size(), MSG_NOSIGNAL);
  for (int i = 1; i < kPieces; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (send(fd, page.data() + i * kPiece, kPiece, MSG_NOSIGNAL) <= 0) break;
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  if (argc > 2) {
    std::ifstream file(argv[2], std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (text.size() < page.size()) {
      std::fprintf(stderr, "slow_origin: %s holds less than %zu bytes\n", argv[2], page.size());
      return 1;
    }
    page = text.substr(0, page.size());
    type = "text/html";
  }
  return serve_loopback(static_cast<uint16_t>(argc > 1 ? std::atoi(argv[1]) : 0), 64, "slow_origin",
                        serve);
}
