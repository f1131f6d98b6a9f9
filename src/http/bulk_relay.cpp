// Bulk relay. The first piece goes through a 64 KiB buffer on the connection thread's stack
// (touched only while a body is relayed, so an idle connection does not pay for it). A body
// that fills that whole piece is large: the rest moves through a pipe with splice(2), which
// hands the pages from socket to socket without copying them through the program. Small
// bodies never pay for the pipe.
#include "http/bulk_relay.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kw {
namespace {

constexpr int kPiece = 64 * 1024;

// Both ends of a pipe, closed when the relay ends.
class Pipe {
 public:
  Pipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Pipe() {
    if (fds_[0] >= 0) ::close(fds_[0]);
    if (fds_[1] >= 0) ::close(fds_[1]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool ok() const { return fds_[0] >= 0; }
  int read_end() const { return fds_[0]; }
  int write_end() const { return fds_[1]; }

 private:
  int fds_[2];
};

// Copies through the stack buffer until the peer closes: bytes moved, or -1.
int64_t copy_to_end(Socket from, Socket to, char* piece) {
  int64_t total = 0;
  for (;;) {
    int got = net_recv(from, piece, kPiece);
    if (got == 0) return total;
    if (got < 0 || !net_send_all(to, piece, static_cast<size_t>(got))) return -1;
    total += got;
  }
}

// Splices through the pipe until the peer closes: bytes moved, or -1. Sockets that cannot be
// spliced (EINVAL before anything moved) are copied instead.
int64_t splice_to_end(Socket from, Socket to, const Pipe& pipe, char* piece) {
  int64_t total = 0;
  for (;;) {
    int got = net_splice_from(from, pipe.write_end(), kPiece);
    if (got == 0) return total;
    if (got < 0 && total == 0 && net_last_error() == EINVAL) return copy_to_end(from, to, piece);
    if (got < 0) return -1;
    while (got > 0) {
      int sent = net_splice_to(to, pipe.read_end(), got);
      if (sent <= 0) return -1;
      got -= sent;
      total += sent;
    }
  }
}

}  // namespace

int64_t bulk_relay(Socket from, Socket to) {
  char piece[kPiece];
  int got = net_recv(from, piece, kPiece);
  if (got == 0) return 0;
  if (got < 0 || !net_send_all(to, piece, static_cast<size_t>(got))) return -1;
  if (got < kPiece) {
    int64_t rest = copy_to_end(from, to, piece);
    return rest < 0 ? -1 : got + rest;
  }
  Pipe pipe;
  int64_t rest = pipe.ok() ? splice_to_end(from, to, pipe, piece) : copy_to_end(from, to, piece);
  return rest < 0 ? -1 : got + rest;
}

}  // namespace kw
