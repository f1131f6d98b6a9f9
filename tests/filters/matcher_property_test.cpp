// Properties over thousands of generated expressions and texts (fixed seeds, so a failure
// reproduces), comparing every attempt at every position, variables included.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filters/match_prefilter.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"
#include "match_harness.h"
#include "page_reference.h"
#include "support/memory_scan.h"

namespace kw {
namespace {

// Random expressions and texts from a fixed seed.
struct Generator {
  explicit Generator(uint32_t seed) : random(seed) {}

  int below(int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); }

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
    // Below depth 3 a pick past the atoms is a group; each "%" takes a sequence one deeper.
    static const char* const kGroups[] = {"(%)", "(%|%)", "(^%)", "(%)\\3", "(%|)"};
    const int pick = below(depth < 3 ? kAtomCount + 5 : kAtomCount);
    if (pick < kAtomCount) return plus(kAtoms[pick]);
    std::string s;
    for (const char* c = kGroups[pick - kAtomCount]; *c; ++c) {
      s += *c == '%' ? sequence(depth + 1) : std::string(1, *c);
    }
    return plus(s);
  }

  // s, one time in five repeated.
  std::string plus(std::string s) {
    if (below(5) == 0) s += "+";
    return s;
  }

  std::mt19937 random;
};

// The case named in a failure message, with NUL bytes shown as \0.
std::string show(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '\0' ? std::string("\\0") : std::string(1, c);
  return s;
}

std::string named(const std::string& expression, const std::string& text, int limit) {
  return "'" + expression + "' on \"" + show(text) + "\" limit " + std::to_string(limit);
}

// For each generated expression: the simple matcher agrees with the full one when the level
// allows it, the prefilter and the chosen matcher change nothing, the text pulled from a socket
// in pieces of every size gives what it gives whole, and a position the start table passes over
// is one where the bounds (every fourth expression has some) or the match fail.
TEST(MatcherPropertyTest, MatchersPrefilterAndPiecesAgreeWithTheFullMatcher) {
  Generator gen(20240611);
  int simple = 0, matches = 0, streamed = 0, hidden = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string expression = i % 2 ? gen.simple_expression() : gen.expression();
    MatchFunction chosen = nullptr;
    PatternCode code = compile_pattern(expression.c_str(), &chosen);
    if (!code) continue;
    simple += code.level() <= kLevelSimple;
    const std::string bounds_text = i % 4 == 0 ? gen.expression() : "";
    MatchFunction bounds_matcher = nullptr;
    PatternCode bounds = compile_pattern(bounds_text.c_str(), &bounds_matcher);
    const bool has_bounds = !bounds_text.empty() && bounds;
    StartTable table;
    table.add(0, code, has_bounds ? &bounds : nullptr);
    for (int t = 0; t < 3; ++t) {
      const std::string text = gen.text();
      for (int limit : {1, 2, 3, 7, 100}) {
        const auto full = test::scan_positions(code, text, limit, match_full, false, 0);
        for (const test::Attempt& a : full) matches += a.end >= 0;
        if (limit == 2 || limit == 100) {
          const auto fits =
              has_bounds ? test::scan_positions(bounds, text, limit, bounds_matcher, false, 0)
                         : full;
          for (size_t start = 0; start < text.size(); ++start) {
            if (table.candidates(text.data() + start, text.data() + text.size()) & 1) continue;
            ++hidden;
            ASSERT_FALSE(full[start].end >= 0 && fits[start].end >= 0)
                << named(expression, text, limit) << " bounds '" << bounds_text << "' at " << start;
          }
        }
        if (code.level() <= kLevelSimple) {
          ASSERT_EQ(test::scan_positions(code, text, limit, match_simple, false, 0), full)
              << "simple: " << named(expression, text, limit);
        }
        ASSERT_EQ(test::scan_positions(code, text, limit, chosen, true, 0), full)
            << "prefiltered: " << named(expression, text, limit);
        if (t > 0 || (limit != 3 && limit != 100) || i % 3 == 2) continue;
        for (int piece = 1; piece <= static_cast<int>(text.size()); ++piece, ++streamed) {
          ASSERT_EQ(test::scan_positions(code, text, limit, chosen, true, piece), full)
              << named(expression, text, limit) << " in pieces of " << piece;
        }
      }
    }
  }
  EXPECT_GT(simple, 2000);
  EXPECT_GT(matches, 30000);
  EXPECT_GT(streamed, 10000);
  EXPECT_GT(hidden, 20000);
}

// The lazy loops ("*" and "\\w") pass over the positions where the rest cannot begin; against a
// direct model of the two shapes they pass over most: a group of literal alternatives followed
// by a literal, and a closing quote followed by a literal (a try that passed the quote and then
// failed leaves it closed, so later tries want a single quote). Texts reach past sixteen bytes.
TEST(MatcherPropertyTest, LazyLoopsPassOverOnlyWhatTheRestCannotBeginWith) {
  Generator gen(515);
  static const char* const kWords[] = {"a", "b", "ab", "ba", "bb"};
  static const char* const kSuffixes[] = {"", "b", "a"};
  // Whether `word` (lower case) stands at p of text, without case.
  const auto at = [](const std::string& text, size_t p, const std::string& word) {
    if (p + word.size() > text.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (lower_byte(static_cast<uint8_t>(text[p + i])) != word[i]) return false;
    }
    return true;
  };
  int matches = 0;
  for (int i = 0; i < 3000; ++i) {
    const bool word_loop = gen.below(3) == 0;
    const bool quoted = gen.below(2) == 0;
    const std::string suffix = kSuffixes[gen.below(3)];
    std::vector<std::string> alternatives;
    std::string expression = std::string(quoted ? "\"" : "x") + (word_loop ? "\\w" : "*");
    if (quoted) {
      expression += "'";
    } else {
      for (int k = 1 + gen.below(4); k > 0; --k) {
        alternatives.push_back(kWords[gen.below(5)]);
        expression += (alternatives.size() > 1 ? "|" : "(") + alternatives.back();
      }
      expression += ")";
    }
    expression += suffix;
    PatternCode code = compile_pattern(expression.c_str());
    ASSERT_TRUE(code) << expression;
    std::string text = quoted ? std::string(1, "\"'"[gen.below(2)]) : "X";
    for (int n = gen.below(40); n > 0; --n) text += "aAbBx\"'\\ >"[gen.below(10)];

    int want = -1;
    char quote = text[0];
    for (size_t p = 1; p < text.size() && want < 0; ++p) {
      if (quoted) {
        const bool closes = quote != 0 ? text[p] == quote && text[p - 1] != '\\' : text[p] == '\'';
        if (closes) {
          quote = 0;
          if (at(text, p + 1, suffix)) want = static_cast<int>(p + 1 + suffix.size());
        }
      }
      for (const std::string& a : alternatives) {
        if (at(text, p, a) && at(text, p + a.size(), suffix)) {
          want = static_cast<int>(p + a.size() + suffix.size());
          break;
        }
      }
      const uint8_t c = static_cast<uint8_t>(text[p]);
      if (word_loop && (c <= 32 || c == '>')) break;
    }
    const int limit = static_cast<int>(text.size()) + 1;
    ASSERT_EQ(test::match_at_start(code, text, limit, match_full).end, want)
        << named(expression, text, limit);
    matches += want >= 0;
  }
  EXPECT_GT(matches, 800);
}

// The candidate search returns the first position at or after its start where the table's
// per-position check finds a candidate, with that check's filters, for tables of several
// filters (most led by literal runs, some by blanks) and texts long enough for the sixteen-byte
// search and its tail; a table of too many filters tries every position.
TEST(MatcherPropertyTest, CandidateSearchFindsTheFirstCandidate) {
  Generator gen(4242);
  static const char* const kLeads[] = {"ab", "<a", "x", "Ba", "c\\t", " ab", "'", "bb", ""};
  for (int i = 0; i < 400; ++i) {
    StartTable table;
    std::vector<PatternCode> codes;
    for (int k = 0; k < 1 + gen.below(12); ++k) {
      const std::string expression = kLeads[gen.below(9)] + gen.expression();
      PatternCode code = compile_pattern(expression.c_str());
      if (!code) continue;
      table.add(static_cast<int>(codes.size()), code, nullptr, 2 + gen.below(30));
      codes.push_back(std::move(code));
    }
    if (i % 2 == 0) table.finish();
    std::string text;
    for (int n = gen.below(6); n >= 0; --n) text += gen.text() + "ab <a  x'";
    const char* const end = text.data() + text.size();
    const uint64_t filters = gen.below(4) == 0 ? uint64_t{0x5} : ~uint64_t{0};
    for (const char* from = text.data(); from <= end; ++from) {
      const char* want = from;
      while (want < end && table.candidates(want, end, filters) == 0) ++want;
      uint64_t found = 0;
      ASSERT_EQ(table.next_candidate(from, end, filters, &found) - text.data(), want - text.data())
          << show(text) << " from " << from - text.data();
      EXPECT_EQ(found, want < end ? table.candidates(want, end, filters) : 0);
    }
  }
  // Beyond the filters a table can tell apart, every position is a candidate.
  StartTable many;
  const PatternCode script = compile_pattern("<script*</script>");
  for (int i = 0; i <= StartTable::kMaxFilters; ++i) many.add(i, script);
  EXPECT_TRUE(many.every_position());
  const char* text = "a <b> <SCRIPT>";
  EXPECT_EQ(many.next_candidate(text, text + 14), text);
}

// The page scan gives what the plain interpreter gives (every filter tried at every position),
// for generated filter lists installed as the program's list and for a table of the page's
// own, on generated pages cut into two receives at every byte.
TEST(MatcherPropertyTest, PageScanAgreesWithThePlainInterpreterAtEveryCut) {
  Generator gen(77);
  static const char* const kLeads[] = {"ab", "<a", "x", "Ba", " a", "'", "bb", ""};
  static const char* const kReplacements[] = {"", "R", "[\\1]", "ab", "x\\2x"};
  int changed = 0;
  for (int list = 0; list < 60; ++list) {
    free_web_filters();
    for (int k = 0; k < 2 + gen.below(8); ++k) {
      const std::string match = kLeads[gen.below(8)] + gen.expression();
      const std::string bounds = gen.below(4) == 0 ? kLeads[gen.below(8)] + gen.expression() : "";
      // A re-scanned replacement is empty here: one the filter could match again would be
      // rewritten without end.
      const bool multi = gen.below(5) == 0;
      build_web_filter(nullptr, FILTER_ACTIVE | (multi ? FILTER_MULTI : 0), "f", nullptr,
                       match.c_str(), bounds.c_str(), static_cast<uint32_t>(gen.below(40)),
                       multi ? "" : kReplacements[gen.below(5)]);
    }
    std::vector<const WebFilter*> filters;
    for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
      if (f->flags & FILTER_ACTIVE) filters.push_back(f);
    }
    for (int page = 0; page < 3; ++page) {
      std::string body;
      for (int n = 1 + gen.below(8); n > 0; --n) body += gen.text() + kLeads[gen.below(8)];
      const std::string expected = test::reference_scan(filters, body);
      changed += expected != body;
      for (size_t cut = 0; cut <= body.size(); ++cut) {
        ASSERT_EQ(test::scan_in_memory(filters, body, cut, cut % 2 == 0), expected)
            << "list " << list << " page \"" << show(body) << "\" cut " << cut;
      }
    }
  }
  free_web_filters();
  EXPECT_GT(changed, 40);
}

}  // namespace
}  // namespace kw
