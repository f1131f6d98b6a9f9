// Receiving a body into the match buffer; see pull_input.h.
#include "filters/pull_input.h"

#include <algorithm>
#include <cstring>

#include "filters/page_output.h"
#include "platform/net.h"

namespace kw {

namespace {

// One receive from the message's socket: the bytes, 0 when the peer closed or the receive
// failed, or (when not waiting) kNetNothingYet.
int receive_once(HttpMessage* msg, char* into, int n, bool wait) {
  if (!msg->socket) return 0;
  // A stream (a TLS session) cannot tell without blocking whether a whole record has arrived:
  // the caller then flushes and waits, as it does when nothing has arrived.
  if (!wait && msg->stream != nullptr) return kNetNothingYet;
  const int got = wait ? message_recv(msg, into, n) : net_recv_nowait(*msg->socket, into, n);
  if (got == kNetNothingYet) return got;
  return got > 0 ? got : 0;
}

int read_stream(HttpMessage* msg, char* destination, int n, bool wait) {
  if (msg == nullptr || n <= 0) {
    *destination = '\0';
    return 0;
  }
  // A piece as large as the receive buffer or larger goes straight to its destination.
  if (msg->pos >= msg->filled && n >= kReceiveBufferSize) {
    const int got = receive_once(msg, destination, n, wait);
    if (got == kNetNothingYet) return got;
    destination[got] = '\0';
    return got;
  }
  if (msg->pos >= msg->filled) {
    const int got = receive_once(msg, msg->buffer, kReceiveBufferSize, wait);
    if (got == kNetNothingYet) return got;
    if (got == 0) {
      *destination = '\0';
      return 0;
    }
    msg->filled = got;
    msg->pos = 0;
  }
  int count = std::min(n, msg->filled - msg->pos);
  std::memcpy(destination, msg->buffer + msg->pos, static_cast<size_t>(count));
  msg->pos += count;
  destination[count] = '\0';
  return count;
}

}  // namespace

int stream_read(HttpMessage* msg, char* destination, int n) {
  return read_stream(msg, destination, n, true);
}

int stream_read_now(HttpMessage* msg, char* destination, int n) {
  return read_stream(msg, destination, n, false);
}

int BodySource::receive(MatchContext* ctx, char* destination, int n) {
  return stream_read(ctx->input, destination, n);
}

int BodySource::receive_now(MatchContext* ctx, char* destination, int n) {
  return stream_read_now(ctx->input, destination, n);
}

int MemoryBody::receive(MatchContext*, char* destination, int n) {
  const size_t until = at_ < cut_ ? cut_ : body_.size();
  const size_t piece = std::min(static_cast<size_t>(n), until - at_);
  std::memcpy(destination, body_.data() + at_, piece);
  destination[piece] = '\0';
  at_ += piece;
  return static_cast<int>(piece);
}

int BodySource::pull(MatchState* state, const char* p) {
  MatchContext* ctx = static_cast<MatchContext*>(state);
  while (p >= ctx->usable_end) {
    const long wanted = ctx->window_end - ctx->usable_end;
    if (wanted <= 0) return 0;
    // A server that closed stays closed: the window shrinks without asking the socket again.
    if (ctx->input_ended) {
      ctx->window_end = ctx->data_end;
      ctx->usable_end = ctx->data_end;
      return 0;
    }
    // A read leaves room for the NUL that stream_read puts after the bytes, so it must end
    // before buffer end; a window that reaches past the buffer is cut there.
    const long room = ctx->buffer_end - ctx->data_end;
    const long piece = ctx->pull_size > 0 ? ctx->pull_size : kPullSize;
    long size = (wanted > piece || room > piece) ? piece : wanted;
    size = std::min(size, room);
    if (size <= 0) return 0;
    // Everything scanned so far reaches the browser before the transfer waits for the server;
    // what has already arrived is taken first, without waiting, so that a page that comes in
    // quickly goes out in few sends. When the browser is gone, the input counts as ended: the
    // scan stops at its next check.
    int got = kNetNothingYet;
    if (ctx->output != nullptr &&
        (ctx->input == nullptr || ctx->input->pos >= ctx->input->filled)) {
      got = receive_now(ctx, ctx->data_end, static_cast<int>(size));
      if (got == kNetNothingYet && !flush_before_receive(ctx)) {
        ctx->window_end = ctx->data_end;
        ctx->usable_end = ctx->data_end;
        return 0;
      }
    }
    if (got == kNetNothingYet) got = receive(ctx, ctx->data_end, static_cast<int>(size));
    if (got == 0) {
      ctx->input_ended = true;
      ctx->window_end = ctx->data_end;
      ctx->usable_end = ctx->data_end;
      return 0;
    }
    ctx->data_end += got;
    ctx->usable_end = std::min(ctx->data_end, ctx->window_end);
  }
  return 1;
}

namespace {

class ServerBody final : public BodySource {};

ServerBody server_body_source;

}  // namespace

MatchSource* server_body() { return &server_body_source; }

int pull_input(MatchContext* ctx, const char* p) { return server_body_source.pull(ctx, p); }

}  // namespace kw
