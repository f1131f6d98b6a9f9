// The buffered stream operations of an HttpMessage: lines, peeks, exact counts and relays.
//
// Every operation takes the unread bytes buffer[pos, filled) first and refills the buffer with
// one receive of up to 2048 bytes whenever it is exhausted, so bytes read ahead while a head was
// parsed are never lost. Relays send straight from the receive buffer and continue short sends.
// Once relay_to_end has drained what the buffer already held, it moves the rest of the body in
// bigger pieces (see bulk_relay): no peer can tell, and it saves most of the system calls of a
// large download. Runs on the connection thread that owns the message.
#include <cstring>

#include "http/bulk_relay.h"
#include "http/http_message.h"

namespace kw {
namespace {

// Refills an exhausted buffer. Returns the bytes now unread (0 when the peer closed or failed).
int refill(HttpMessage* msg) {
  if (msg->pos < msg->filled) return msg->filled - msg->pos;
  int got = message_recv(msg, msg->buffer, kReceiveBufferSize);
  msg->pos = 0;
  msg->filled = got > 0 ? got : 0;
  return msg->filled;
}

// Sends buffer[pos, pos + n) on to's socket and consumes it. 1 when all n went out, 0 when a
// send failed.
int send_from_buffer(HttpMessage* from, HttpMessage* to, int n) {
  if (!message_send_all(to, from->buffer + from->pos, static_cast<size_t>(n))) return 0;
  from->pos += n;
  return 1;
}

// The rest of a body when either side has a stream (which splice cannot reach): one record's
// worth at a time. Bytes moved, or -1.
int64_t copy_to_end(HttpMessage* from, HttpMessage* to) {
  char piece[16 * 1024];
  int64_t total = 0;
  for (;;) {
    int got = message_recv(from, piece, sizeof piece);
    if (got == 0) return total;
    if (got < 0 || !message_send_all(to, piece, static_cast<size_t>(got))) return -1;
    total += got;
  }
}

}  // namespace

int read_line(HttpMessage* msg, char* out, int size) {
  if (size < 1) return 0;
  // out holds the characters, then CR LF and a terminator: at most size - 3 characters.
  const int limit = size - 3;
  int count = 0;
  for (;;) {
    if (refill(msg) == 0) break;
    char c = msg->buffer[msg->pos];
    if (c == '\n' || c == '\r') {
      ++msg->pos;
      // The other line-end character right after this one belongs to the same line end. When
      // the stream ends here instead, the line still had its line end: it keeps it, so a head
      // whose empty line is the last thing the peer sends still ends properly.
      if (refill(msg) > 0 && msg->buffer[msg->pos] == (c == '\r' ? '\n' : '\r')) ++msg->pos;
      out[count++] = '\r';
      out[count++] = '\n';
      break;
    }
    // A full line that goes on is cut here; the rest is the next call's line.
    if (count >= limit) break;
    out[count++] = c;
    ++msg->pos;
  }
  out[count] = '\0';
  return count;
}

int peek_bytes(HttpMessage* msg, char* out, int n) {
  if (n < 0) n = 0;
  int available = refill(msg);
  int copied = available < n ? available : n;
  std::memcpy(out, msg->buffer + msg->pos, static_cast<size_t>(copied));
  out[copied] = '\0';
  return copied;
}

int read_bytes(HttpMessage* msg, char* out, int n) {
  int taken = 0;
  while (taken < n) {
    int available = refill(msg);
    if (available == 0) return 0;
    int piece = available < n - taken ? available : n - taken;
    std::memcpy(out + taken, msg->buffer + msg->pos, static_cast<size_t>(piece));
    msg->pos += piece;
    taken += piece;
  }
  return n;
}

int relay_bytes(HttpMessage* from, HttpMessage* to, int n) {
  if (n <= 0) return 0;
  int left = n;
  while (left > 0) {
    int available = refill(from);
    if (available == 0) return 0;
    int piece = available < left ? available : left;
    if (!send_from_buffer(from, to, piece)) return 0;
    left -= piece;
  }
  return n;
}

int64_t relay_to_end(HttpMessage* from, HttpMessage* to) {
  int64_t total = 0;
  if (from->pos < from->filled) {
    int buffered = from->filled - from->pos;
    if (!send_from_buffer(from, to, buffered)) return 0;
    total += buffered;
  }
  int64_t rest = from->stream == nullptr && to->stream == nullptr
                     ? bulk_relay(*from->socket, *to->socket)
                     : copy_to_end(from, to);
  if (rest < 0) return 0;
  return total + rest;
}

int send_text(HttpMessage* msg, const char* text) {
  const int n = static_cast<int>(std::strlen(text));
  if (msg->stream != nullptr) return message_send_all(msg, text, static_cast<size_t>(n)) ? n : -1;
  return net_send(*msg->socket, text, n);
}

}  // namespace kw
