// Matching, one table grouped by element: every row runs on every engine that applies (the
// full matcher, the full matcher behind the prefilter, the simple matcher for level 2 or less)
// with the text in memory, and on the full matcher with the text pulled from a socket in
// pieces. Then the window rules, the bounds on hostile expressions and the input feed.
#include "filters/matcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "filters/pattern_compiler.h"
#include "filters/pull_input.h"
#include "match_harness.h"

namespace kw {
namespace {

struct Row {
  const char* expression;
  std::string text;
  int end;  // -1: no match
  struct {
    int variable = -1, start, length;
  } stored = {};  // at most one variable stored
  int limit = 1000;
};

// Each row on every engine that applies, and streamed in pieces when the window allows.
void check(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("expression ") + row.expression + " on \"" + row.text + "\"");
    PatternCode code = compile_pattern(row.expression);
    ASSERT_TRUE(code);
    test::Attempt want;
    want.end = row.end;
    want.variable_start.fill(-1);
    if (row.stored.variable >= 0) {
      want.variable_start[row.stored.variable] = row.stored.start;
      want.variable_length[row.stored.variable] = row.stored.length;
    }
    const int limit = row.limit;
    EXPECT_EQ(test::match_at_start(code, row.text, limit, match_full), want) << "full";
    EXPECT_EQ(test::match_at_start(code, row.text, limit, match_full, true), want) << "prefiltered";
    if (code.level() <= kLevelSimple) {
      EXPECT_EQ(test::match_at_start(code, row.text, limit, match_simple), want) << "simple";
    }
    for (int piece : {1, 2, 3, 1000}) {
      if (limit < 2) break;
      EXPECT_EQ(test::match_at_start(code, row.text, limit, match_full, true, piece), want)
          << "in pieces of " << piece;
    }
  }
}

TEST(MatcherTest, EveryElement) {
  check({
      // Literals and blank runs.
      {"ab", "ABc", 2},
      {"ab", "a b", -1},
      {"a\\tb", "a\tb", 3},
      {"\\A\\[", "a[", 2},  // an escaped letter matches like any letter
      {"\xe9", "\xe9", 1},
      {"\xe9", "\xc9", -1},  // only A-Z fold
      {"a\\", "a\\", 2},
      {"abc", "ab", -1},
      {"a b", "ab", 2},
      {"a b", "a\r\n\tb", 5},
      {"a b", std::string("a\0b", 3), 3},  // NUL is whitespace
      {"a\\sb", "a b", 3},
      {"a\\sb", "ab", -1},
      {"a ", "a   x", 4},
      {"a=b", "a = b", 5},
      {"a=b", "ab", -1},
      // Stars, any bytes, sets and numbers.
      {"a*", "abc", 3},  // a final star runs to the window end, or where a stream closed
      {"a*", "abcdef", 3, {}, 4},
      {"*", "xyz", 3},
      {"a*c", "abcbc", 3},  // the shortest run that lets the rest match
      {"x*y", "xy", 2},
      {"a*b", "a", -1},
      {"a*b*c", "a1b2b3c4", 7},
      {"a?c", "abc", 3},
      {"?", std::string("\0", 1), -1},
      {"? ?", "a  b", 4},
      {"[^a]", "b", 1},
      {"[^a]", "A", -1},
      {"[^]", std::string("\0", 1), 1},
      {"[a-c]+", "abcabcd", 6},
      {"[A-Z]", "q", 1},
      {"[\\]]", "]", 1},
      {"[a-]", "-", 1},
      {"[#10-20]", "15", 2},
      {"[#10-20]", "\"15\"", 4},
      {"[#10-20]", "\"15", 3},
      {"[#10-20]", "25", -1},
      {"[#10-20]", "x15", -1},
      {"[#10-20]x", "015x", 4},
      {"[#-1-5]", "1", 1},  // 0..1 with "-5" ignored: no negative bounds
      {"[#-1-5]", "5", -1},
      {"[#10-*]", "99999", 5},
      {"[#0-*]", "4294967295", -1},  // wraps to -1
      // Groups, alternatives, backtracking and repeats.
      {"(ab|cd)e", "cde", 3},
      {"(a|ab)c", "abc", 3},  // a failure after the group resumes its next alternative
      {"(a*)b", "aab", 3},    // ... and its lazy star
      {"(a*)\\1x", "aaax", 4, {1, 0, 3}},
      {"a|b|c", "c", 1},
      {"a|", "x", 0},
      {"(^ab)a*", "abax", -1},  // the test covers the rest of the expression too
      {"(^ab)a*", "abx", 3},
      {"(^ab)a*", "acx", 3},
      {"(^ab)c", "abc", -1},
      {"(^ab)c", "ac", -1},  // the position passes, then a c is required there
      {"(^ab)c", "cd", 1},
      {"(^a)\\1b", "b", 1},  // a negated group stores an empty variable
      {"a+", "aaab", 3},
      {"a+a", "aaa", -1},
      {"(ab)+c", "ababc", 5},
      {"(ab)\\2+c", "ababc", 5, {2, 2, 2}},
      {"[#1-9]+", "123", -1},  // one number takes all its digits: 123 is out of bounds
      {"( a)+x", " a ax", 5},
      {"(a|)+b", "aab", 3},  // an empty repetition ends the repeat
      // Word runs, quotes and "&" branches.
      {"\\w", "abc>d", 3},
      {"<\\w>", "<abc>", 5},
      {"<\\w>", "<a b>", -1},
      {"\\w=", "ab=", 3},
      {"\"*'", "'abc'", 5},
      {"\"*'", "\"abc\"", 5},
      {"\"*'", "\"abc'", -1},
      {"\"*'", "\"a\\\"b\"", 6},  // an escaped quote does not close
      {"'", "'", 1},              // no quote open: a single quote
      {"'", "\"", -1},
      {"\"(')", "\"'", 2},  // a group starts without an open quote
      {"foo&*bar*", "foo bar baz", 11},
      {"foo&*bar*", "foo baz", -1},
      {"foo&*bar*", "bar foo", -1},
      {"abc&a", "abcd", 3},   // the furthest end of the branches
      {"(ab&a)b", "abb", 2},  // the rest goes on from the end of the last branch
      {"(ab&a)b", "ab", -1},  // ... and must also follow every earlier branch
      // Variables and the window end.
      {"\\1b", "aab", 3, {1, 0, 2}},
      {"a\\1", "abc", 3, {1, 1, 2}},
      {"(a)\\1x|ab", "ab", 2, {1, 0, 1}},  // a store on a failed path stays
      {"(x\\1)\\1", "xyz", 1},             // the inner store comes last and is empty
      {"(\\3)\\4", "ab", 0},
      {"abc", "abcd", -1, {}, 3},  // the buffer holds the c, the window does not
      {"abc", "abcd", 3, {}, 4},
      {"", "abc", 0, {}, 1},
      {"a", "abc", -1, {}, 1},
      {"a ", "a  b", 1, {}, 2},
      {"", "abc", -1, {}, 0},  // a window ending before the start allows nothing
  });
}

TEST(MatcherTest, DeepExpressionsMatchOrFailWithinTheirBounds) {
  auto end = [](const std::string& expression, const std::string& text, MatchFunction matcher,
                int limit = 100) {
    PatternCode code = compile_pattern(expression.c_str());
    EXPECT_TRUE(code) << expression.size();
    return test::match_at_start(code, text, limit, matcher).end;
  };
  EXPECT_EQ(end(std::string(199, '(') + "a" + std::string(199, ')') + "b", "ab", match_full), 2);
  // Lazy stars nest one call each: a chain beyond the depth bound fails instead of overflowing.
  const std::string chain = std::string(3000, '*') + "x";
  EXPECT_EQ(end(chain, "abcx", match_full), -1);
  EXPECT_EQ(end(chain, "abcx", match_simple), 4);
  std::string variables;
  for (int i = 0; i < 1500; ++i) variables += "\\" + std::to_string(i % 10);
  EXPECT_EQ(end(variables + "x", "abcx", match_full), -1);

  // Exponential backtracking stops at the step budget.
  const std::string text(4000, 'a');
  EXPECT_EQ(end("(*a)(*a)(*a)(*a)(*a)(*a)(*a)(*a)(*a)(*a)b", text, match_full, 32767), -1);
  EXPECT_EQ(end("*a*a*a*a*a*a*a*a*a*a*a*b", text, match_full, 32767), -1);
  EXPECT_EQ(end("*a*a*a*a*a*a*a*a*a*a*a*b", text, match_simple, 32767), -1);
}

// The input feed: bytes read ahead into the message come first, a window past the buffer is cut
// at its end (whose last byte holds the terminator), and every read writes a terminator after
// its bytes, also when it reports the end of the stream.
TEST(PullInputTest, ReadsStayInsideTheBufferTakeReadAheadBytesFirstAndEndWithATerminator) {
  int sockets[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  const std::string sent(5000, 'x');
  ASSERT_EQ(send(sockets[1], sent.data(), sent.size(), 0), 5000);
  close(sockets[1]);
  HttpMessage input{};
  input.socket = &sockets[0];
  std::memcpy(input.buffer, "ab", 2);
  input.filled = 2;

  std::vector<char> storage(6000, '#');
  char* buffer = storage.data();
  MatchContext ctx{};
  ctx.input = &input;
  ctx.source = server_body();
  ctx.current_buffer = buffer;
  ctx.buffer_end = buffer + 999;  // a buffer of 1000 bytes
  ctx.data_end = buffer;
  ctx.usable_end = buffer;
  ctx.window_end = buffer + 5000;  // beyond the buffer end
  EXPECT_EQ(pull_input(&ctx, buffer), 1);
  EXPECT_EQ(std::string(buffer, ctx.data_end + 1), std::string("ab", 3));
  EXPECT_EQ(pull_input(&ctx, buffer + 900), 1);
  EXPECT_EQ(pull_input(&ctx, buffer + 998), 1);
  EXPECT_EQ(pull_input(&ctx, buffer + 999), 0) << "the last byte holds the terminator";
  EXPECT_EQ(ctx.data_end - buffer, 999);
  EXPECT_EQ(buffer[999], '\0');
  EXPECT_EQ(ctx.window_end - buffer, 5000) << "a full buffer is not the end of the input";

  char out[16] = "###############";
  EXPECT_EQ(stream_read(&input, out, 3), 3);
  EXPECT_STREQ(out, "xxx");
  while (stream_read(&input, storage.data(), 4096) > 0) {
  }
  out[0] = '#';
  EXPECT_EQ(stream_read(&input, out, 10), 0);
  EXPECT_EQ(out[0], '\0');
  close(sockets[0]);
}

}  // namespace
}  // namespace kw
