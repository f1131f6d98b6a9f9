// parse_status_line: recognises the status line of a server's reply, or decides that the reply
// is HTTP/0.9 (no head at all, its first bytes are the body). The decision waits until five
// bytes have arrived or the stream has ended, so a status line sent in small pieces is still
// read as one. The code and reason are copied into status->text, each terminated and cut to
// fit its 128 bytes. Runs on the connection thread.
#include <cstring>

#include "base/char_class.h"
#include "http/http_message.h"

namespace kw {
namespace {

constexpr char kVersionPrefix[] = "HTTP/";
constexpr int kPrefixLength = 5;

// Unread bytes after receiving until at least n are buffered, the unread bytes stop being a
// prefix of "HTTP/", or the stream ends. Receiving more moves the unread bytes to the start of
// the buffer first, so none is lost.
int buffer_version_prefix(HttpMessage* msg) {
  for (;;) {
    int available = msg->pos < msg->filled ? msg->filled - msg->pos : 0;
    if (available >= kPrefixLength ||
        (available > 0 && std::memcmp(msg->buffer + msg->pos, kVersionPrefix,
                                      static_cast<size_t>(available)) != 0)) {
      return available;
    }
    if (available > 0)
      std::memmove(msg->buffer, msg->buffer + msg->pos, static_cast<size_t>(available));
    msg->pos = 0;
    msg->filled = available;
    int got = message_recv(msg, msg->buffer + available, kReceiveBufferSize - available);
    if (got <= 0) return available;
    msg->filled += got;
  }
}

// Appends the run [from, from + n) and a terminator to text, cut to what fits. When text is
// already full the result is the empty text at its last terminator.
char* append_text(StatusLine* s, const char* from, int n) {
  constexpr int kSize = sizeof s->text;
  if (s->text_len >= kSize) return s->text + kSize - 1;
  int room = kSize - s->text_len - 1;
  if (n > room) n = room;
  char* start = s->text + s->text_len;
  std::memcpy(start, from, static_cast<size_t>(n));
  start[n] = '\0';
  s->text_len = static_cast<uint16_t>(s->text_len + n + 1);
  return start;
}

}  // namespace

int parse_status_line(HttpMessage* msg) {
  StatusLine* s = msg->status;
  int available = buffer_version_prefix(msg);
  if (available == 0) return 0;
  s->major = 0;
  s->minor = 0;
  s->text_len = 0;
  if (available < kPrefixLength ||
      std::memcmp(msg->buffer + msg->pos, kVersionPrefix, kPrefixLength) != 0) {
    s->minor = 9;
    s->code = append_text(s, "200", 3);
    s->reason = append_text(s, "HTTP/0.9", 8);
    return 1;
  }

  if (read_line(msg, msg->line, kLineBufferSize) == 0) return 0;
  const char* p = read_decimal(msg->line + kPrefixLength, &s->major);
  if (*p != '.') return 0;
  p = read_decimal(p + 1, &s->minor);
  while (is_skippable_blank(*p)) ++p;
  if (*p == '\0') return 0;

  const char* code = p;
  while (*p >= '0' && *p <= '9') ++p;
  s->code = append_text(s, code, static_cast<int>(p - code));
  while (is_skippable_blank(*p)) ++p;
  if (*p == '\0') return 0;

  const char* reason = p;
  while (static_cast<signed char>(*p) >= 32) ++p;
  s->reason = append_text(s, reason, static_cast<int>(p - reason));
  return 1;
}

}  // namespace kw
