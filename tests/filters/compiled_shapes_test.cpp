// The chain matcher against the full one: which code it takes, every attempt at every position
// of generated texts (end, variables, the input pulled and the steps counted, whole and in
// pieces), the step bound it must reach exactly where the full matcher does, and the page scan
// over filters it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filters/match_context.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"
#include "filters/pull_input.h"
#include "filters/web_filter.h"
#include "page_reference.h"
#include "support/memory_scan.h"

namespace kw {
namespace {

struct Outcome {
  long end = -1;  // offset of the match end, -1 for none
  std::array<long, kVariableCount> start{};
  std::array<int, kVariableCount> length{};
  long received = 0;   // bytes of the text pulled in so far
  uint64_t steps = 0;  // the full matcher's steps (which the chain matcher counts alike)

  bool operator==(const Outcome&) const = default;
};

// Attempts at every position in order, as the page scan makes them, variables cleared before
// each: from memory (piece 0) or received in pieces of `piece` bytes.
std::vector<Outcome> attempts(const PatternCode& code, const std::string& text, int limit,
                              MatchFunction matcher, int piece) {
  std::vector<char> buffer(piece == 0 ? text.size() + 1 : 32768);
  char* base = buffer.data();
  char* text_end = base + text.size();
  MemoryBody body(text);
  MatchContext ctx{};
  if (piece == 0) {
    std::copy(text.begin(), text.end(), base);
    ctx.data_end = text_end + 1;
  } else {
    ctx.source = &body;
    ctx.pull_size = piece;
    ctx.data_end = base;
    ctx.buffer_end = base + buffer.size() - 1;
  }
  std::vector<Outcome> out;
  for (char* at = base; at <= text_end && at <= ctx.data_end; ++at) {
    clear_variables(&ctx);
    ctx.position = at;
    ctx.window_end = piece == 0 ? std::min(at + limit - 1, text_end) : at + limit - 1;
    ctx.frame = nullptr;
    ctx.pattern = code.code();
    const uint64_t steps_before = ctx.full_steps;
    const char* end = matcher(&ctx);
    Outcome& o = out.emplace_back();
    o.end = end != nullptr ? end - base : -1;
    for (int d = 0; d < kVariableCount; ++d) {
      o.length[d] = ctx.variable_length[d];
      o.start[d] = ctx.variable_length[d] != 0 ? ctx.variable_start[d] - base : -1;
    }
    o.received = piece == 0 ? 0 : static_cast<long>(body.delivered());
    o.steps = ctx.full_steps - steps_before;
  }
  return out;
}

// Chain-shaped expressions: a head of elements that match at one place and groups of literal
// alternatives (some stored), then up to three stars or variables, each followed by a few
// elements, and texts made of the bytes they look at.
struct Generator {
  explicit Generator(uint32_t seed) : random(seed) {}
  int below(int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); }

  std::string expression() {
    static const char* const kHead[] = {"<",    "a",       "(ab|a|b)", "(x|)\\1", "(a|B)\\2",
                                        " ",    "=",       "\"",       "'",       "\\w ",
                                        "[ab]", "[#1-20]", "?",        "\\s",     "b"};
    static const char* const kLazy[] = {"*", "*", "\\3", "\\4"};
    static const char* const kTail[] = {"a", "b", "ab", "'", "\"", "=", " ", "x", ">", "\\w"};
    std::string s;
    for (int n = below(4); n > 0; --n) s += kHead[below(15)];
    for (int n = 1 + below(3); n > 0; --n) {
      s += kLazy[below(4)];
      for (int k = below(3); k > 0; --k) s += kTail[below(10)];
    }
    return s;
  }

  std::string text() {
    static const char kAlphabet[] = "aabbxAB =\"'12>\\\t";
    std::string s;
    for (int n = below(24); n > 0; --n) s += kAlphabet[below(sizeof kAlphabet - 1)];
    return s;
  }

  std::mt19937 random;
};

std::string named(const std::string& expression, const std::string& text, int limit) {
  return "'" + expression + "' on \"" + text + "\" limit " + std::to_string(limit);
}

TEST(ChainMatcherTest, TakesGroupsBeforeLazyElementsAndLeavesTheRestToOthers) {
  const auto chosen = [](const char* expression) {
    MatchFunction choice = nullptr;
    EXPECT_TRUE(compile_pattern(expression, &choice)) << expression;
    return choice;
  };
  for (const char* e : {"<(table|td|tr)\\1 *bgcolor=\"\\2'*>", "<img*width=[#468]*height=[#60]*>",
                        "<a\\w href=\"http://ads.\\1'*>", "(a|b)*x*y", "a\\1b\\2"}) {
    EXPECT_EQ(chosen(e), &match_chain) << e;
  }
  // A group after a lazy element, a negated or repeated group, a run of stars, "&", "+", "\w"
  // before anything but the end or a blank run, and alternatives at the top are not its shape.
  for (const char* e : {"a*(b|c)", "(^a)*b", "(a|b)+*c", "(a)**b", "a&*b", "[ab]+*c", "\\wa*b",
                        "a*b|c*d", "(a*b)c*d"}) {
    EXPECT_EQ(chosen(e), &match_full) << e;
  }
  EXPECT_EQ(chosen("<(/|)font*>"), &match_sequence);
}

// Every attempt agrees with the full matcher's, variables, input pulled and steps included.
TEST(ChainMatcherTest, AgreesWithTheFullMatcherAtEveryPositionWholeAndInPieces) {
  Generator gen(6061);
  int chains = 0, matches = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string expression = gen.expression();
    PatternCode code = compile_pattern(expression.c_str());
    ASSERT_TRUE(code) << expression;
    if (!chain_matcher_fits(code.code())) continue;
    ++chains;
    for (int t = 0; t < 3; ++t) {
      const std::string text = gen.text();
      for (int limit : {1, 2, 5, 40}) {
        const auto full = attempts(code, text, limit, match_full, 0);
        for (const Outcome& o : full) matches += o.end >= 0;
        ASSERT_EQ(attempts(code, text, limit, match_chain, 0), full)
            << named(expression, text, limit);
        if (t > 0 || limit != 40) continue;
        for (int piece : {1, 2, 3, 7}) {
          ASSERT_EQ(attempts(code, text, limit, match_chain, piece),
                    attempts(code, text, limit, match_full, piece))
              << named(expression, text, limit) << " in pieces of " << piece;
        }
      }
    }
  }
  EXPECT_GT(chains, 1800);
  EXPECT_GT(matches, 20000);
}

// Near the step bound the chain matcher gives what the full one gives: the same failure where
// the full matcher stops at its bound, and the full matcher's own answer where the work lies
// between half the bound and the bound.
TEST(ChainMatcherTest, ReachesTheStepBoundWhereTheFullMatcherDoes) {
  PatternCode code = compile_pattern("(a|b)\\1*x*x*y");
  ASSERT_TRUE(code);
  ASSERT_TRUE(chain_matcher_fits(code.code()));
  for (size_t xs : {60, 170, 400}) {
    const std::string text = "a" + std::string(xs, 'x');
    for (MatchFunction matcher : {match_full, match_chain}) {
      SCOPED_TRACE(std::to_string(xs) + (matcher == match_full ? " full" : " chain"));
      const uint64_t before = match_bounds_hit();
      const auto o = attempts(code, text, 32767, matcher, 0)[0];
      EXPECT_EQ(o.end, -1);
      EXPECT_EQ(o.length[1], 1);
      EXPECT_EQ(match_bounds_hit() - before, xs == 400 ? 1u : 0u);
    }
  }
  // Not far from the bound, the match that is there is found.
  const std::string text = "a" + std::string(1000, 'x') + "y";
  EXPECT_EQ(attempts(code, text, 32767, match_chain, 0)[0].end, 1002);
}

// The page scan with chain filters (and others) gives the plain interpreter's page, whatever
// the cut of the body.
TEST(ChainMatcherTest, PageScanWithChainFiltersAgreesWithThePlainInterpreterAtEveryCut) {
  Generator gen(99);
  static const char* const kReplacements[] = {"", "R", "[\\1]", "<\\3>", "x\\2x"};
  int changed = 0;
  for (int list = 0; list < 40 && !HasFailure(); ++list) {
    free_web_filters();
    for (int k = 0; k < 2 + gen.below(5); ++k) {
      const std::string match = gen.expression();
      build_web_filter(nullptr, FILTER_ACTIVE, "f", nullptr, match.c_str(), nullptr,
                       static_cast<uint32_t>(2 + gen.below(30)), kReplacements[gen.below(5)]);
    }
    for (int page = 0; page < 2; ++page) {
      std::string body;
      for (int n = 1 + gen.below(4); n > 0; --n) body += gen.text();
      SCOPED_TRACE("list " + std::to_string(list) + " page \"" + body + "\"");
      changed += test::expect_reference_at_every_cut(test::active_filters(), body);
    }
  }
  free_web_filters();
  EXPECT_GT(changed, 30);
}

}  // namespace
}  // namespace kw
