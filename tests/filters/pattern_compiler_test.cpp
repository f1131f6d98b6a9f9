// The compiler's golden code: each expression beside its exact bytes and level, every syntax
// error and both limits with their messages, literal prefixes; replacement segments; the web
// filter record operations.
#include "filters/pattern_compiler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "filters/matcher.h"
#include "filters/replacement_code.h"
#include "filters/web_filter.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

std::string hex(const uint8_t* code, size_t size) {
  std::string s;
  for (size_t i = 0; i < size; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i ? " %02x" : "%02x", code[i]);
    s += byte;
  }
  return s;
}

struct CodeCase {
  const char* expression;
  const char* code;
  int level;
};

const CodeCase kCodeCases[] = {
    {"", "00", 0},
    {"ABC", "61 62 63 00", 1},
    {"a\r\nb", "61 62 00", 1},
    {"\\t\\n\\r", "09 0a 0d 00", 1},
    {"\\*\\A\\[", "2a 61 5b 00", 1},  // escaped letters are lower-cased too
    {"\\", "5c 00", 1},               // a final backslash is a literal backslash
    {"a \t b", "61 20 62 00", 2},
    {"a*b?c", "61 04 62 06 63 00", 2},
    {"a\\sb", "61 0e 62 00", 2},
    {"\\w", "0f 00", 3},
    {"\\3", "0b 03 00", 3},
    {"=\"'", "10 11 13 00", 3},
    {"a&b", "61 03 62 00", 3},
    {"a|b", "02 00 01 61 00 62 00", 3},
    {"a|b|c", "02 00 01 61 00 02 00 01 62 00 63 00", 3},
    {"a|", "02 00 01 61 00 00", 3},
    {"(a|b)", "12 00 06 02 00 01 61 00 62 00 00", 3},
    {"(a|b)\\1", "12 00 06 02 00 01 61 00 62 00 0b 01 00", 3},
    {"(^ab)c", "12 00 03 07 61 62 00 63 00", 3},
    {"x(a\\|b|c)", "78 12 00 08 02 00 03 61 7c 62 00 63 00 00", 3},  // escaped "|" is a byte
    {"([|]|b)", "12 00 0a 02 00 05 05 00 01 7c 00 00 62 00 00", 3},  // a "|" in a set too
    {"[a]", "05 00 01 61 00 00", 3},
    {"[A-Z]", "05 00 03 61 0c 7a 00 00", 3},
    {"[^]", "05 00 01 07 00 00", 3},
    {"[^a\\]\\t-]", "05 00 05 07 61 5d 09 2d 00 00", 3},
    {"[+a-c-e]", "05 00 06 2b 61 0c 63 2d 65 00 00", 3},
    // Repeated or overlapping members are written as the fewest that hold the same bytes, so
    // that no set costs a step more than 192 bytes of members; a set of no byte stays.
    {"[zzb-da-c]", "05 00 04 61 0c 64 7a 00 00", 3},
    {"[z-az-a]", "05 00 06 7a 0c 61 7a 0c 61 00 00", 3},
    {"[\\A]", "05 00 01 61 00 00", 3},
    {"[#5]", "08 05 00 00 00 05 00 00 00 00", 3},
    {"[# 3 - 7 ]", "08 03 00 00 00 07 00 00 00 00", 3},
    {"[#10-*]", "08 0a 00 00 00 ff ff ff 7f 00", 3},
    {"[#x]", "08 00 00 00 00 00 00 00 00 00", 3},
    {"[#4294967295]", "08 ff ff ff ff ff ff ff ff 00", 3},
    {"[#300-70000x]", "08 2c 01 00 00 70 11 01 00 00", 3},
    {"a+", "61 01 00 01 00", 3},
    {"a++", "61 01 00 01 00", 3},
    {"+a", "61 00", 3},
    {"*+", "04 00", 3},
    {"\\1+", "0b 01 00", 3},
    {"a\n+", "61 00", 3},
    {"a|+b", "02 00 01 61 00 62 00", 3},
    {"(x)\\3+", "12 00 01 78 00 0b 03 01 00 07 00", 3},
    {"[ab]+ ", "05 00 02 61 62 00 01 00 06 20 00", 3},
    {"<a\\w href=\"\\1'", "3c 61 0f 20 68 72 65 66 10 11 0b 01 13 00", 3},
};

TEST(CompilerTest, ExpressionsCompileToTheirCodeAndLevel) {
  for (const CodeCase& c : kCodeCases) {
    MatchFunction choice = nullptr;
    PatternCode code = compile_pattern(c.expression, &choice);
    ASSERT_TRUE(code) << c.expression;
    EXPECT_EQ(hex(code.code(), code.size()), c.code) << c.expression;
    EXPECT_EQ(code.level(), c.level) << c.expression;
    const MatchFunction other = sequence_matcher_fits(code.code()) ? match_sequence
                                : chain_matcher_fits(code.code())  ? match_chain
                                                                   : match_full;
    EXPECT_EQ(choice, c.level <= 2 ? &match_simple : other) << c.expression;
  }
}

// Why `expression` does not compile ("" when it does); a failure must choose no matcher.
std::string failure(const std::string& expression) {
  MatchFunction choice = nullptr;
  int result = kResultOk;
  if (compile_pattern(expression.c_str(), &choice, &result)) return "";
  EXPECT_EQ(choice, nullptr) << expression;
  return result_name(result);
}

TEST(CompilerTest, SyntaxErrorsAndLimitsFailWithTheirResult) {
  // The last five hold opcode bytes, which cannot stand for themselves.
  for (const char* bad : {"(a", "a)", "[]", "[abc", "[#5", "a|b)", "(a|b", "[a\\", "((a)", "(^",
                          "x[#\\]|a", "a\x01", "\\\x0c", "[\x0c]", "[\x07]", "\x13"}) {
    EXPECT_EQ(failure(bad), result_name(kResultBadPattern)) << bad;
  }
  EXPECT_FALSE(compile_pattern(nullptr));

  // 199 open fields are allowed, counting the alternative inside the innermost group; the code
  // may take 4096 bytes with its end, and is too long by the end byte, by a whole element, and
  // far beyond.
  const char* const kDeep = "Parse stack overflow";
  const char* const kLong = "Exceeded parsed line buffer";
  auto nested = [](int n, const char* inner) {
    return std::string(n, '(') + inner + std::string(n, ')');
  };
  const std::pair<std::string, const char*> limits[] = {{nested(199, "a"), ""},
                                                        {nested(198, "a|b"), ""},
                                                        {nested(200, "a"), kDeep},
                                                        {nested(199, "a|b"), kDeep},
                                                        {std::string(4095, 'a'), ""},
                                                        {std::string(4096, 'a'), kLong},
                                                        {std::string(4094, 'a') + "[#1]", kLong},
                                                        {std::string(4093, 'a') + "(b)", kLong},
                                                        {std::string(9000, '?'), kLong}};
  for (const auto& [expression, why] : limits) {
    EXPECT_EQ(failure(expression), why) << expression.size();
  }
  EXPECT_EQ(compile_pattern(std::string(4095, 'a').c_str()).size(), 4096u);
}

std::vector<std::string> prefixes(const MatchPrefilter& f) {
  std::vector<std::string> out;
  for (int k = 0; k < f.prefix_count; ++k) {
    out.emplace_back(reinterpret_cast<const char*>(f.prefix[k]), f.prefix_length[k]);
  }
  return out;
}

TEST(CompilerTest, PrefilterKnowsFirstBytesAndLiteralPrefixes) {
  // Runs go through alternatives and into and out of groups; a run stops where a store would
  // happen and after 16 bytes; a leading blank run or \s is skipped.
  const std::pair<const char*, std::vector<std::string>> runs[] = {
      {"<SCRIPT*</script>", {"<script"}},
      {"(Casino|poker)\\s", {"casino", "poker"}},
      {"<(/|)b(i|)>", {"</bi>", "</b>", "<bi>", "<b>"}},
      {"ab(cd)\\1ef", {"abcd"}},
      {"0123456789abcdefghij", {"0123456789abcdef"}},
      {" target=x", {"target"}},
      {"\\starget=x", {"target"}},
      // No runs when some path starts with anything but a literal, or there are too many.
      {"a|?", {}},
      {"(^a)|b", {}},
      {"a|b|c|d|e|f|g|h|i", {}},
      {"\\s+x", {}}};
  for (const auto& [expression, want] : runs) {
    EXPECT_EQ(prefixes(compile_pattern(expression).prefilter()), want) << expression;
  }
}

// Code letters are lower case only; raw code bytes (the last row) would read as codes.
TEST(ReplacementCompilerTest, TextCompilesToSegmentsWithin4096Bytes) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "00 00"},
      {"x\\1y", "00 01 78 00 02 0b 01 00 01 79 00 00"},
      {"\\u", "00 01 06 00 00"},
      {"\\h\\p\\q\\a\\d", "00 01 02 00 01 03 00 01 05 00 01 04 00 01 01 00 00"},
      {"a\\nb\\tc\\r", "00 06 61 0a 62 09 63 0d 00 00"},
      {"\\U\\x\\\\", "00 03 55 78 5c 00 00"},
      {"a\r\nb", "00 02 61 62 00 00"},
      {"ab\\", "00 02 61 62 00 00"},
      {"\x01"
       "a\x0b",
       "00 01 61 00 00"}};
  for (const auto& [text, expected] : cases) {
    ReplacementCode code = compile_replacement(text);
    ASSERT_TRUE(code) << text;
    EXPECT_EQ(hex(code.code(), code.size()), expected) << text;
  }
  EXPECT_FALSE(compile_replacement(nullptr));

  // A long text is cut to whole segments within 4096 bytes.
  ReplacementCode literal = compile_replacement(std::string(5000, 'a').c_str());
  ASSERT_EQ(literal.size(), 4096u);
  EXPECT_EQ(hex(literal.code(), 2), "0f fc");  // 4092 literal bytes
  EXPECT_EQ(hex(literal.code() + 4094, 2), "00 00");

  std::string variables;
  for (int i = 0; i < 2000; ++i) variables += "\\1";
  ReplacementCode codes = compile_replacement(variables.c_str());
  ASSERT_EQ(codes.size(), 1023u * 4 + 2);  // a 1024th segment would pass 4096
  EXPECT_EQ(hex(codes.code() + codes.size() - 6, 6), "00 02 0b 01 00 00");
}

// New records are appended with their codes, empty texts stored as none and the limit cut to
// 32767. A failed rebuild of a record reports the last text that failed and leaves the record as
// it was and out of the list; a good one clears what the new texts leave out.
TEST(WebFilterTest, RecordsAreBuiltAppendedRebuiltAndFreed) {
  test::RecordingFrontend frontend;
  free_web_filters();
  ASSERT_EQ(build_web_filter(nullptr, FILTER_ACTIVE, "one", "", "<blink>", nullptr, 4096, ""), 1);
  ASSERT_EQ(build_web_filter(nullptr, FILTER_MULTI, "two", "example.com/", "*evil*",
                             "<script*</script>", 40000, "\\1"),
            1);
  const WebFilter* one = web_filter_list;
  ASSERT_NE(one->next, nullptr);
  EXPECT_TRUE(one->url == nullptr && !one->url_code && one->replace == nullptr);
  EXPECT_TRUE(one->next->url_code && one->next->match_code && one->next->replace_code);
  EXPECT_EQ(one->next->limit, 32767u);
  free_web_filters();

  // Records outside the list leave it unchanged: once an editor's copy marked it changed, and the
  // next page rebuilt the installed scan table under the transfers still reading it.
  const uint64_t change = web_filter_list_change();
  WebFilter* f = new_web_filter();
  ASSERT_EQ(build_web_filter(f, FILTER_ACTIVE, "kept", "u", "m", "b", 100, "r"), 1);
  // Url, match, bounds and the result.
  const std::tuple<const char*, const char*, const char*, int> cases[] = {
      {"(", "m", "b", -1}, {"u", "[", "b", -2}, {"u", "m", ")", -3}, {"(", "[", ")", -3}};
  for (const auto& [url, match, bounds, result] : cases) {
    EXPECT_EQ(build_web_filter(f, 0, "changed", url, match, bounds, 7, ""), result);
    EXPECT_STREQ(f->name.get(), "kept");
    EXPECT_STREQ(f->url.get(), "u");
    EXPECT_EQ(f->limit, 100u);
    EXPECT_EQ(f->flags, FILTER_ACTIVE);
  }
  EXPECT_EQ(web_filter_list, nullptr) << "an existing record is never appended";
  ASSERT_EQ(build_web_filter(f, FILTER_MULTI, "b", nullptr, "n", nullptr, 50, nullptr), 1);
  EXPECT_TRUE(f->url == nullptr && f->bounds == nullptr && !f->replace_code);
  EXPECT_EQ(clear_web_filter(f), 1);
  EXPECT_TRUE(f->name == nullptr && !f->match_code && f->flags == 0);
  free_web_filter(f);
  EXPECT_EQ(web_filter_list_change(), change);
}

}  // namespace
}  // namespace kw
