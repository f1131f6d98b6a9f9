// libFuzzer: compile an expression, then match it at every position of a text the way the page
// scan does. The input is: one byte choosing the window limit, the expression up to the first
// NUL, then the text (which may hold NULs). Checks that no read leaves the text, that the
// prefilter and the start table never change an outcome, and that the matcher the compiler
// chose (simple, sequence or chain) agrees with the full one (unless the full one stopped at one
// of its bounds, where only the chain matcher must still agree). An expression that has spent
// two bounded attempts' worth of steps on the text is done: what such a filter costs a page is
// for the page scan's work allowance to bound (fuzz_page_filter), and the rest of the positions
// would only slow the campaign.
#include <cstdint>
#include <cstring>
#include <memory>

#include "code_checks.h"
#include "filters/match_prefilter.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"

namespace {

struct Outcome {
  char* end;
  uint16_t lengths[kw::kVariableCount];
  char* starts[kw::kVariableCount];
};

Outcome attempt(kw::MatchState* ctx, char* pos, char* window_end, const kw::PatternCode& code,
                kw::MatchFunction matcher, bool prefilter) {
  kw::clear_variables(ctx);
  kw::set_string_window(ctx, pos, window_end);
  Outcome o;
  if (prefilter) {
    o.end = kw::match_pattern(ctx, code, matcher);
  } else {
    ctx->pattern = code.code();
    o.end = matcher(ctx);
  }
  for (int d = 0; d < kw::kVariableCount; ++d) {
    o.lengths[d] = ctx->variable_length[d];
    o.starts[d] = ctx->variable_length[d] ? ctx->variable_start[d] : nullptr;
  }
  return o;
}

bool same(const Outcome& a, const Outcome& b) {
  return a.end == b.end && std::memcmp(a.lengths, b.lengths, sizeof a.lengths) == 0 &&
         std::memcmp(a.starts, b.starts, sizeof a.starts) == 0;
}

// The steps of the matchers on one text after which the rest of its positions is skipped.
constexpr uint64_t kStepBudget = 2 * uint64_t{kw::kMaxMatchSteps};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const int limit = 1 + data[0] % 200;
  const uint8_t* rest = data + 1;
  const size_t rest_size = size - 1;
  const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(rest, 0, rest_size));
  const size_t expression_size = nul ? static_cast<size_t>(nul - rest) : rest_size;
  std::unique_ptr<char[]> expression(new char[expression_size + 1]);
  std::memcpy(expression.get(), rest, expression_size);
  expression[expression_size] = '\0';

  kw::MatchFunction choice = nullptr;
  kw::PatternCode code = kw::compile_pattern(expression.get(), &choice);
  if (!code) return 0;
  kw::fuzz::check_pattern_code(code);

  // The text in a block of its exact size plus the terminator, so ASan sees any overrun.
  const size_t text_size = nul ? rest_size - expression_size - 1 : 0;
  std::unique_ptr<char[]> text(new char[text_size + 1]);
  if (text_size) std::memcpy(text.get(), nul + 1, text_size);
  text[text_size] = '\0';
  char* begin = text.get();
  char* end = begin + text_size;

  kw::StartTable table;
  table.add(0, code);
  kw::MatchState ctx{};
  for (char* pos = begin; pos <= end; ++pos) {
    char* window_end = end - pos > limit - 1 ? pos + limit - 1 : end;
    const uint64_t bounds_before = kw::match_bounds_hit();
    const Outcome full = attempt(&ctx, pos, window_end, code, kw::match_full, false);
    const bool bounded = kw::match_bounds_hit() != bounds_before;
    kw::fuzz::require(full.end == nullptr || (full.end >= pos && full.end <= window_end));
    kw::fuzz::require(same(attempt(&ctx, pos, window_end, code, kw::match_full, true), full));
    if (pos < end && (table.candidates(pos, end) & 1) == 0) kw::fuzz::require(full.end == nullptr);
    // A hostile expression is done once it reached a bound; the rest would only be slow. The
    // chain matcher follows the full one into its bounds.
    if (bounded) {
      if (choice == kw::match_chain) {
        kw::fuzz::require(same(attempt(&ctx, pos, window_end, code, choice, true), full));
      }
      break;
    }
    if (choice == kw::match_simple) {
      kw::fuzz::require(attempt(&ctx, pos, window_end, code, kw::match_simple, true).end ==
                        full.end);
    } else if (choice == kw::match_sequence || choice == kw::match_chain) {
      kw::fuzz::require(same(attempt(&ctx, pos, window_end, code, choice, true), full));
    }
    if (ctx.full_steps > kStepBudget) break;
  }
  return 0;
}
