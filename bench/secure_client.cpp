// The browser of the secure page benchmark: fetches one page through the proxy COUNT times in a
// row, each on a new connection, plain (GET with the absolute URL) or through an inspected
// tunnel (CONNECT, TLS checked against CAFILE, GET), and prints the pages per second and the
// bytes of the last page.
//
//   secure_client PROXY_PORT PAGE_PORT PATH COUNT [--tls CAFILE]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int connect_to(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool send_text(int fd, const std::string& text) {
  return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// The proxy's answer to CONNECT, up to its empty line.
bool read_opening(int fd) {
  std::string head;
  char c;
  while (head.find("\r\n\r\n") == std::string::npos && recv(fd, &c, 1, 0) == 1) head += c;
  return head.rfind("HTTP/1.0 200", 0) == 0;
}

size_t fetch(int proxy_port, int page_port, const char* path, SSL_CTX* tls) {
  const int fd = connect_to(proxy_port);
  if (fd < 0) return 0;
  const std::string authority = "localhost:" + std::to_string(page_port);
  size_t total = 0;
  char buffer[65536];
  if (tls == nullptr) {
    send_text(fd, "GET http://127.0.0.1:" + std::to_string(page_port) + path +
                      " HTTP/1.0\r\n\r\n");
    for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) total += got;
  } else if (send_text(fd, "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                               "\r\n\r\n") &&
             read_opening(fd)) {
    SSL* ssl = SSL_new(tls);
    SSL_set_fd(ssl, fd);
    SSL_set_tlsext_host_name(ssl, "localhost");
    SSL_set1_host(ssl, "localhost");
    if (SSL_connect(ssl) == 1) {
      const std::string get = std::string("GET ") + path + " HTTP/1.1\r\nHost: " + authority +
                              "\r\nConnection: close\r\n\r\n";
      SSL_write(ssl, get.data(), static_cast<int>(get.size()));
      for (int got; (got = SSL_read(ssl, buffer, sizeof buffer)) > 0;) total += got;
    }
    SSL_free(ssl);
  }
  close(fd);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: secure_client PROXY_PORT PAGE_PORT PATH COUNT [--tls CAFILE]\n");
    return 2;
  }
  SSL_CTX* tls = nullptr;
  if (argc >= 7 && std::strcmp(argv[5], "--tls") == 0) {
    tls = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(tls, argv[6], nullptr);
    SSL_CTX_set_verify(tls, SSL_VERIFY_PEER, nullptr);
  }
  const int count = std::atoi(argv[4]);
  size_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    bytes = fetch(std::atoi(argv[1]), std::atoi(argv[2]), argv[3], tls);
    if (bytes == 0) {
      std::fprintf(stderr, "fetch %d failed\n", i + 1);
      return 1;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.1f pages/s %zu bytes\n", count / seconds, bytes);
  return 0;
}
