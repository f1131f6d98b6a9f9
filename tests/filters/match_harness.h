// Running one expression over a text the way the page scan does, either with the text whole in
// memory or pulled from a sequenced-packet socket that delivers it in pieces of a chosen size
// (every receive returns exactly one piece), and recording every attempt's outcome (end and
// variables) so that different ways can be compared.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "filters/match_context.h"
#include "filters/matcher.h"
#include "filters/pattern_code.h"
#include "filters/pull_input.h"

namespace kw::test {

struct Attempt {
  int end = -1;                                       // offset of the match end, -1 for no match
  std::array<int, kVariableCount> variable_start{};   // offsets; -1 when empty
  std::array<int, kVariableCount> variable_length{};  // 0 when empty

  bool operator==(const Attempt&) const = default;
};

inline void PrintTo(const Attempt& a, std::ostream* out) {
  *out << "end " << a.end;
  for (int d = 0; d < kVariableCount; ++d) {
    if (a.variable_length[d]) {
      *out << " \\" << d << "=" << a.variable_start[d] << "+" << a.variable_length[d];
    }
  }
}

// Attempts at the first `count` positions 0..size of `text` in order, as the page scan makes
// them, with variables cleared before each: from memory (piece 0; the buffer is exactly the
// text and its NUL, so a read beyond shows under AddressSanitizer), or pulled through a socket
// in pieces of `piece` bytes. `prefilter` runs each attempt through match_pattern.
inline std::vector<Attempt> scan_positions(const PatternCode& code, const std::string& text,
                                           int limit, MatchFunction matcher, bool prefilter,
                                           int piece, size_t count = SIZE_MAX) {
  std::vector<char> buffer(piece == 0 ? text.size() + 1 : 32768);
  char* base = buffer.data();
  MatchContext ctx{};
  ctx.current_buffer = base;
  ctx.buffer_end = base + buffer.size() - 1;
  int sockets[2] = {-1, -1};
  HttpMessage input{};
  if (piece == 0) {
    std::memcpy(base, text.data(), text.size());
    ctx.data_end = base + text.size() + 1;
  } else {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
    for (size_t at = 0; at < text.size(); at += static_cast<size_t>(piece)) {
      size_t n = std::min(text.size() - at, static_cast<size_t>(piece));
      EXPECT_EQ(send(sockets[1], text.data() + at, n, 0), static_cast<ssize_t>(n));
    }
    close(sockets[1]);
    input.pos = 1;
    input.socket = &sockets[0];
    ctx.input = &input;
    ctx.source = server_body();
    ctx.data_end = base;
  }
  std::vector<Attempt> out;
  char* text_end = base + text.size();
  // Like the page scan, never start beyond the bytes received so far.
  for (char* start = base; start <= text_end && start <= ctx.data_end && out.size() < count;
       ++start) {
    clear_variables(&ctx);
    ctx.position = start;
    ctx.window_end = start + limit - 1;
    if (piece == 0) ctx.window_end = std::min(ctx.window_end, text_end);
    ctx.pattern = code.code();
    ctx.frame = nullptr;
    const char* end = prefilter ? match_pattern(&ctx, code, matcher) : matcher(&ctx);
    Attempt& a = out.emplace_back();
    a.end = end ? static_cast<int>(end - base) : -1;
    for (int d = 0; d < kVariableCount; ++d) {
      a.variable_length[d] = ctx.variable_length[d];
      a.variable_start[d] =
          ctx.variable_length[d] ? static_cast<int>(ctx.variable_start[d] - base) : -1;
    }
  }
  if (sockets[0] != -1) close(sockets[0]);
  return out;
}

// The attempt at the text's start alone.
inline Attempt match_at_start(const PatternCode& code, const std::string& text, int limit,
                              MatchFunction matcher, bool prefilter = false, int piece = 0) {
  return scan_positions(code, text, limit, matcher, prefilter, piece, 1)[0];
}

}  // namespace kw::test
