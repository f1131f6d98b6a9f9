// Properties over thousands of generated expressions and texts (fixed seeds, so a failure
// reproduces): the simple matcher agrees with the full one on every expression of level 2 or
// less; the prefilter never changes an outcome; and no outcome depends on how the text arrives
// (whole in memory, or from a socket in pieces of every size from 1 byte up, same window).
// Every attempt at every position is compared, variables included.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "filters/match_prefilter.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"
#include "match_harness.h"

namespace kw {
namespace {

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  int below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

  // Literals, blank runs, "\s", "?" and "*" only.
  std::string simple_expression() {
    static const char* const kTokens[] = {"a", "b", "A", "ab", " ", "\\s", "*", "?", "\\t", "x"};
    std::string s;
    for (int n = below(8); n > 0; --n) s += kTokens[below(10)];
    return s;
  }

  // Any element, groups nested a few levels.
  std::string expression() {
    std::string s = sequence(0);
    if (below(6) == 0) s += "|" + sequence(1);
    return s;
  }

  std::string text() {
    static const char kAlphabet[] = "aabbcAB =\"'125>\\\tx";
    std::string s;
    for (int n = below(17); n > 0; --n) {
      s += below(40) == 0 ? '\0' : kAlphabet[below(sizeof kAlphabet - 1)];
    }
    return s;
  }

 private:
  std::string sequence(int depth) {
    std::string s;
    for (int n = 1 + below(4); n > 0; --n) s += item(depth);
    return s;
  }

  std::string item(int depth) {
    static const char* const kAtoms[] = {
        "a",  "b", "B",    "c",    "x",     " ",       "?",   "*",   "\\s", "\\w", "=",
        "\"", "'", "[ab]", "[^a]", "[a-c]", "[#1-20]", "\\1", "\\2", "&",   "a",   "b"};
    constexpr int kAtomCount = sizeof kAtoms / sizeof kAtoms[0];
    std::string s;
    const int pick = below(depth < 3 ? kAtomCount + 5 : kAtomCount);
    switch (pick - kAtomCount) {
      case 0:
        s = "(" + sequence(depth + 1) + ")";
        break;
      case 1:
        s = "(" + sequence(depth + 1) + "|" + sequence(depth + 1) + ")";
        break;
      case 2:
        s = "(^" + sequence(depth + 1) + ")";
        break;
      case 3:
        s = "(" + sequence(depth + 1) + ")\\3";
        break;
      case 4:
        s = "(" + sequence(depth + 1) + "|)";
        break;
      default:
        s = kAtoms[pick];
        break;
    }
    if (below(5) == 0) s += "+";
    return s;
  }

  std::mt19937 random_;
};

std::string show(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '\0' ? std::string("\\0") : std::string(1, c);
  return s;
}

// The case named in a failure message.
std::string named(const std::string& expression, const std::string& text, int limit) {
  return "'" + expression + "' on \"" + show(text) + "\" limit " + std::to_string(limit);
}

TEST(MatcherPropertyTest, SimpleMatcherAgreesWithFullMatcherOnLevelTwo) {
  Generator gen(20240611);
  int expressions = 0, matches = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string expression = i % 2 ? gen.simple_expression() : gen.expression();
    PatternCode code = compile_pattern(expression.c_str());
    if (!code || code.level() > kLevelSimple) continue;
    ++expressions;
    for (int t = 0; t < 3; ++t) {
      const std::string text = gen.text();
      for (int limit : {1, 2, 3, 7, 100}) {
        auto full = test::scan_positions(code, text, limit, match_full, false, 0);
        auto simple = test::scan_positions(code, text, limit, match_simple, false, 0);
        ASSERT_EQ(simple, full) << named(expression, text, limit);
        for (const test::Attempt& a : full) matches += a.end >= 0;
      }
    }
  }
  EXPECT_GT(expressions, 2000);
  EXPECT_GT(matches, 10000);
}

TEST(MatcherPropertyTest, PrefilterNeverChangesAnOutcome) {
  Generator gen(77);
  int compiled = 0, matches = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string expression = gen.expression();
    MatchFunction chosen = nullptr;
    PatternCode code = compile_pattern(expression.c_str(), &chosen);
    if (!code) continue;
    ++compiled;
    for (int t = 0; t < 3; ++t) {
      const std::string text = gen.text();
      for (int limit : {2, 100}) {
        auto plain = test::scan_positions(code, text, limit, match_full, false, 0);
        auto filtered = test::scan_positions(code, text, limit, chosen, true, 0);
        ASSERT_EQ(filtered, plain) << named(expression, text, limit);
        for (const test::Attempt& a : plain) matches += a.end >= 0;
      }
    }
  }
  EXPECT_GT(compiled, 3000);
  EXPECT_GT(matches, 10000);
}

TEST(MatcherPropertyTest, OutcomeDoesNotDependOnHowTheInputArrives) {
  Generator gen(4242);
  int streamed = 0;
  for (int i = 0; i < 1500; ++i) {
    const std::string expression = i % 3 ? gen.expression() : gen.simple_expression();
    MatchFunction chosen = nullptr;
    PatternCode code = compile_pattern(expression.c_str(), &chosen);
    if (!code) continue;
    const std::string text = gen.text();
    for (int limit : {3, 100}) {
      auto whole = test::scan_positions(code, text, limit, match_full, false, 0);
      for (int piece = 1; piece <= static_cast<int>(text.size()); ++piece) {
        auto pieces = test::scan_positions(code, text, limit, chosen, true, piece);
        ASSERT_EQ(pieces, whole) << named(expression, text, limit) << " in pieces of " << piece;
        ++streamed;
      }
    }
  }
  EXPECT_GT(streamed, 10000);
}

// A position the start table passes over for a filter is one where its bounds or its match
// fail, whatever the window.
TEST(MatcherPropertyTest, StartTableNeverHidesAMatch) {
  Generator gen(9001);
  int hidden = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string match_text = gen.expression();
    const std::string bounds_text = i % 3 ? std::string() : gen.expression();
    PatternCode match = compile_pattern(match_text.c_str());
    MatchFunction bounds_matcher = nullptr;
    PatternCode bounds = compile_pattern(bounds_text.c_str(), &bounds_matcher);
    if (!match || !bounds) continue;
    StartTable table;
    table.add(0, match, bounds_text.empty() ? nullptr : &bounds);
    for (int t = 0; t < 3; ++t) {
      const std::string text = gen.text();
      const char* end = text.data() + text.size();
      for (size_t start = 0; start < text.size(); ++start) {
        if (table.candidates(text.data() + start, end) & 1) continue;
        ++hidden;
        for (int limit : {2, 100}) {
          const bool bounds_fit =
              bounds_text.empty() || test::match_in_memory(bounds, text, static_cast<int>(start),
                                                           limit, bounds_matcher, false)
                                             .end >= 0;
          const bool match_fits =
              test::match_in_memory(match, text, static_cast<int>(start), limit, match_full, false)
                  .end >= 0;
          ASSERT_FALSE(bounds_fit && match_fits)
              << named(match_text, text, limit) << " bounds '" << bounds_text << "' at " << start;
        }
      }
    }
  }
  EXPECT_GT(hidden, 20000);
}

}  // namespace
}  // namespace kw
