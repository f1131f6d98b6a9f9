// Bulk relay through a 64 KiB buffer on the connection thread's stack: the pages are touched
// only while a body is relayed, so an idle connection does not pay for them.
#include "engine/bulk_relay.h"

namespace kw {

int64_t bulk_relay(Socket from, Socket to) {
  constexpr int kPiece = 64 * 1024;
  char piece[kPiece];
  int64_t total = 0;
  for (;;) {
    int got = net_recv(from, piece, kPiece);
    if (got == 0) return total;
    if (got < 0) return -1;
    for (int done = 0; done < got;) {
      int sent = net_send(to, piece + done, got - done);
      if (sent <= 0) return -1;
      done += sent;
    }
    total += got;
  }
}

}  // namespace kw
