// Feeding a match from the server connection while the body arrives.
//
// The matchers never read a socket themselves: whenever a step needs the byte at some position
// and it has not arrived, the body source (server_body) receives more of the body into the
// context's buffer at data end, reading through the server message's own receive buffer so
// that bytes read ahead while the reply head was parsed come first. Reads never go beyond
// window end by more than one receive, never past buffer end, and stop for good when the
// server closes: window end then shrinks to data end and the match is decided on the bytes
// present. A page transfer's output queue (the context's output) is flushed before every
// receive from the socket that has to wait, so the browser never waits for bytes that were
// already scanned.
// Called on the connection thread that owns the context.
#pragma once

#include <cstddef>
#include <string_view>

#include "filters/match_context.h"
#include "http/http_message.h"
#include "platform/net.h"

namespace kw {

// Reads of the body happen in pieces of at most this many bytes, unless the context asks for
// larger ones (its pull_size).
inline constexpr int kPullSize = 2048;

// The source of a page transfer's body (a MatchContext's): the window and buffer rules above
// around receives of the body. The body comes from the server connection (ctx->input); a
// source that feeds it from elsewhere replaces receive.
class BodySource : public MatchSource {
 public:
  int pull(MatchState* state, const char* p) final;

 protected:
  ~BodySource() = default;
  // Up to n bytes of the body at destination, followed by a NUL; 0 when it has ended.
  virtual int receive(MatchContext* ctx, char* destination, int n);
  // The same without waiting: kNetNothingYet when no byte has arrived (nothing is written then).
  virtual int receive_now(MatchContext* ctx, char* destination, int n);
};

// A body held in memory, received in the pieces the scan asks for; no receive crosses the byte
// at `cut`, so a test can choose where the body is split.
class MemoryBody final : public BodySource {
 public:
  explicit MemoryBody(std::string_view body, size_t cut = 0) : body_(body), cut_(cut) {}
  // Bytes received so far.
  size_t delivered() const { return at_; }

 protected:
  int receive(MatchContext* ctx, char* destination, int n) override;
  // Every receive waits, as for a server that sends each piece only when asked.
  int receive_now(MatchContext*, char*, int) override { return kNetNothingYet; }

 private:
  std::string_view body_;
  size_t cut_;
  size_t at_ = 0;
};

// The shared source of every body that comes from its server connection.
MatchSource* server_body();

// What that source does for ctx: whether the byte at p can be consumed, receiving as needed.
int pull_input(MatchContext* ctx, const char* p);

// Up to n bytes of the message's stream into destination, followed by a NUL: the bytes waiting
// in the message's receive buffer, or when it is used up, what one receive of up to 2048 bytes
// brings (of up to n bytes, straight into destination, when n is 2048 or more). Returns the count,
// or 0 (with a NUL written) when the peer closed or the receive failed.
int stream_read(HttpMessage* msg, char* destination, int n);
// The same without waiting: kNetNothingYet (nothing written) when the buffer is used up and no
// byte has arrived.
int stream_read_now(HttpMessage* msg, char* destination, int n);

}  // namespace kw
