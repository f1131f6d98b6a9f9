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
#include <memory>
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

inline constexpr int kHarnessBufferSize = 32768;

inline Attempt record(const MatchContext& ctx, const char* base, const char* end) {
  Attempt a;
  a.end = end ? static_cast<int>(end - base) : -1;
  for (int d = 0; d < kVariableCount; ++d) {
    a.variable_length[d] = ctx.variable_length[d];
    a.variable_start[d] =
        ctx.variable_length[d] ? static_cast<int>(ctx.variable_start[d] - base) : -1;
  }
  return a;
}

inline char* attempt(MatchContext* ctx, const PatternCode& code, MatchFunction matcher,
                     bool prefilter) {
  if (prefilter) return match_pattern(ctx, code, matcher);
  ctx->pattern = code.code();
  ctx->frame = nullptr;
  return matcher(ctx);
}

inline void PrintTo(const Attempt& a, std::ostream* out) {
  *out << "end " << a.end;
  for (int d = 0; d < kVariableCount; ++d) {
    if (a.variable_length[d]) {
      *out << " \\" << d << "=" << a.variable_start[d] << "+" << a.variable_length[d];
    }
  }
}

// One attempt at `start` of `text` held in memory as a string, window end at start + limit - 1
// (or the text's end). `prefilter` runs the attempt through match_pattern.
inline Attempt match_in_memory(const PatternCode& code, const std::string& text, int start,
                               int limit, MatchFunction matcher, bool prefilter) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  char* base = buffer.data();
  char* end = base + text.size();
  MatchContext ctx{};
  set_string_window(&ctx, base + start, std::min(base + start + limit - 1, end));
  ctx.current_buffer = base;
  ctx.buffer_end = end;
  ctx.data_end = end + 1;
  return record(ctx, base, attempt(&ctx, code, matcher, prefilter));
}

// Attempts at every position 0..size of `text` in order, as the page scan makes them: from
// memory, or pulled through a socket in pieces of `piece` bytes (0: from memory). Variables are
// cleared before each attempt.
inline std::vector<Attempt> scan_positions(const PatternCode& code, const std::string& text,
                                           int limit, MatchFunction matcher, bool prefilter,
                                           int piece) {
  std::vector<Attempt> out;
  auto buffer = std::make_unique<char[]>(kHarnessBufferSize);
  char* base = buffer.get();
  MatchContext ctx{};
  ctx.current_buffer = base;
  ctx.buffer_end = base + kHarnessBufferSize - 1;
  int sockets[2] = {-1, -1};
  Socket reader = kNoSocket;
  HttpMessage input{};
  if (piece == 0) {
    std::memcpy(base, text.data(), text.size());
    base[text.size()] = '\0';
    ctx.data_end = base + text.size() + 1;
  } else {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
    for (size_t at = 0; at < text.size(); at += static_cast<size_t>(piece)) {
      size_t n = std::min(text.size() - at, static_cast<size_t>(piece));
      EXPECT_EQ(send(sockets[1], text.data() + at, n, 0), static_cast<ssize_t>(n));
    }
    close(sockets[1]);
    reader = sockets[0];
    input.pos = 1;
    input.socket = &reader;
    ctx.input = &input;
    ctx.source = server_body();
    ctx.data_end = base;
  }
  char* text_end = base + text.size();
  // Like the page scan, never start beyond the bytes received so far.
  for (char* start = base; start <= text_end && start <= ctx.data_end; ++start) {
    clear_variables(&ctx);
    ctx.position = start;
    ctx.window_end = start + limit - 1;
    if (piece == 0) ctx.window_end = std::min(ctx.window_end, text_end);
    out.push_back(record(ctx, base, attempt(&ctx, code, matcher, prefilter)));
  }
  if (reader != kNoSocket) close(reader);
  return out;
}

}  // namespace kw::test
