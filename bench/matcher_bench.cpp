// Scanning a realistic 200 KB page position by position with filters, as the page scan does:
// at each position the filters are tried in list order (bounds first, then the match in the
// bounds' window, a match must be non-empty), a match is replaced and scanning resumes at its
// end. The page is in memory, so the figures are the matchers' cost alone.
//
// Three ways to run the same scan, with identical output (checked before timing):
//   interpreter  every filter enters match_full at every position: the plain design;
//   prefilter    match_pattern checks each filter's first bytes and literal prefixes first;
//   start table  positions no filter can start at are passed over, and at the others only
//                the filters whose first bytes fit are tried.
// Inputs and why they are hard: the twenty typical filters (tag removers with stars to a
// closing tag, attribute rewriters with \w, "=", quotes and variables, a word list with
// alternation, one filter that begins with a blank run) start at most "<" and at many letters
// and spaces of the running text; one literal-prefix tag remover ("<script*</script>") shows the
// cost floor per candidate. Copying the page is the reference measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/match_prefilter.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"
#include "filters/replacement_code.h"
#include "realistic_page.h"

namespace kw {
namespace {

enum Mode { kInterpreter = 0, kPrefilter = 1, kStartTable = 2 };
const char* const kModeNames[] = {"interpreter", "prefilter", "start table"};

struct CompiledFilter {
  PatternCode bounds;
  MatchFunction bounds_matcher = match_full;
  PatternCode match;
  uint32_t limit = 0;
  ReplacementCode replace;
};

class PageScanner {
 public:
  explicit PageScanner(const std::vector<bench::TypicalFilter>& filters) {
    for (const bench::TypicalFilter& f : filters) {
      CompiledFilter c;
      if (f.bounds) c.bounds = compile_pattern(f.bounds, &c.bounds_matcher);
      c.match = compile_pattern(f.match);
      if (!c.match || (f.bounds && !c.bounds)) {
        std::fprintf(stderr, "filter \"%s\" does not compile\n", f.name);
        std::abort();
      }
      c.limit = f.limit;
      c.replace = compile_replacement(f.replace);
      table_.add(static_cast<int>(filters_.size()), c.match, f.bounds ? &c.bounds : nullptr);
      filters_.push_back(std::move(c));
    }
  }

  // Scans text[0, size) (text[size] is a NUL) into out; returns the number of matches.
  int scan(char* text, size_t size, Mode mode, std::string* out) {
    char* const end = text + size;
    MatchContext ctx{};
    ctx.current_buffer = text;
    ctx.buffer_end = end;
    out->clear();
    char* pending = text;
    int matches = 0;
    const int count = static_cast<int>(filters_.size());
    for (char* pos = text; pos < end;) {
      if (mode == kStartTable) {
        pos = const_cast<char*>(table_.next_candidate(pos, end));
        if (pos == end) break;
      }
      bool matched = false;
      // In start table mode only the candidates' bits are visited, in list order.
      uint64_t candidates = mode == kStartTable ? table_.candidates(pos, end) : ~uint64_t{0};
      for (int i = 0; i < count && !matched; ++i) {
        if (i < StartTable::kMaxFilters) {
          candidates &= ~uint64_t{0} << i;
          if (candidates == 0) break;
          i = __builtin_ctzll(candidates);
          if (i >= count) break;
        }
        const CompiledFilter& f = filters_[static_cast<size_t>(i)];
        if (ctx.variables_set) clear_variables(&ctx);
        set_string_window(&ctx, pos, pos + f.limit - 1 < end ? pos + f.limit - 1 : end);
        char* bounds_end = nullptr;
        if (f.bounds) {
          bounds_end = run(&ctx, f.bounds, f.bounds_matcher, mode);
          if (bounds_end == nullptr) continue;
          set_string_window(&ctx, pos, bounds_end);
        }
        char* match_end = run(&ctx, f.match, match_full, mode);
        if (match_end == nullptr || match_end == pos || (f.bounds && match_end != bounds_end)) {
          continue;
        }
        out->append(pending, pos);
        expand(f.replace, ctx, out);
        pending = pos = match_end;
        matched = true;
        ++matches;
      }
      if (!matched) ++pos;
    }
    out->append(pending, end);
    return matches;
  }

 private:
  static char* run(MatchContext* ctx, const PatternCode& code, MatchFunction matcher, Mode mode) {
    if (mode != kInterpreter) return match_pattern(ctx, code, matcher);
    ctx->pattern = code.code();
    ctx->frame = nullptr;
    return matcher(ctx);
  }

  // Literal runs and variables; the request's URL parts are not part of this benchmark.
  static void expand(const ReplacementCode& code, const MatchContext& ctx, std::string* out) {
    for (const uint8_t* p = code.code(); p != nullptr;) {
      const int length = read_be16(p);
      if (length == 0) break;
      const uint8_t* segment = p + 2;
      if (segment[0] == RC_VAR && segment[1] < kVariableCount) {
        out->append(ctx.variable_start[segment[1]], ctx.variable_length[segment[1]]);
      } else if (!is_replacement_code_byte(segment[0])) {
        out->append(reinterpret_cast<const char*>(segment), static_cast<size_t>(length));
      }
      p = segment + length;
    }
  }

  std::vector<CompiledFilter> filters_;
  StartTable table_;
};

struct Page {
  Page() {
    const std::string built = bench::build_realistic_page();
    text.assign(built.begin(), built.end());
    text.push_back('\0');
  }
  size_t size() const { return text.size() - 1; }
  std::vector<char> text;
};

Page& page() {
  static Page p;
  return p;
}

std::vector<bench::TypicalFilter> first_filters(size_t count) {
  const auto& all = bench::typical_filters();
  return std::vector<bench::TypicalFilter>(all.begin(), all.begin() + static_cast<long>(count));
}

// The three modes must produce the same page; a benchmark of a wrong result is worthless.
void check_modes_agree(PageScanner& scanner, const char* what) {
  std::string outputs[3];
  int matches[3];
  for (int mode = 0; mode < 3; ++mode) {
    matches[mode] =
        scanner.scan(page().text.data(), page().size(), static_cast<Mode>(mode), &outputs[mode]);
  }
  if (outputs[0] != outputs[1] || outputs[0] != outputs[2] || matches[0] != matches[1] ||
      matches[0] != matches[2]) {
    std::fprintf(stderr, "%s: the scan modes disagree\n", what);
    std::abort();
  }
}

void run_scan(benchmark::State& state, PageScanner& scanner) {
  const Mode mode = static_cast<Mode>(state.range(1));
  std::string out;
  out.reserve(page().size() + 4096);
  int matches = 0;
  for (auto _ : state) {
    matches = scanner.scan(page().text.data(), page().size(), mode, &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
  state.counters["matches"] = matches;
  state.counters["output_kb"] = static_cast<double>(out.size()) / 1024;
  // Attempts that stopped at the matcher's depth or step bound: none for real filters.
  const uint64_t bounded_before = match_bounds_hit();
  scanner.scan(page().text.data(), page().size(), kInterpreter, &out);
  state.counters["bounded"] = static_cast<double>(match_bounds_hit() - bounded_before);
  state.SetLabel(kModeNames[mode]);
}

// Typical filters, the first N of the twenty.
void BM_TypicalFilters(benchmark::State& state) {
  static std::vector<PageScanner*> scanners(21, nullptr);
  const size_t count = static_cast<size_t>(state.range(0));
  if (scanners[count] == nullptr) {
    scanners[count] = new PageScanner(first_filters(count));
    check_modes_agree(*scanners[count], "typical filters");
  }
  run_scan(state, *scanners[count]);
}
BENCHMARK(BM_TypicalFilters)
    ->ArgsProduct({{1, 5, 20}, {kInterpreter, kPrefilter, kStartTable}})
    ->ArgNames({"filters", "mode"})
    ->Unit(benchmark::kMicrosecond);

// One tag remover with a literal prefix.
void BM_LiteralPrefixFilter(benchmark::State& state) {
  static PageScanner* scanner = [] {
    auto* s = new PageScanner({{"Scripts", nullptr, "<script*</script>", 4096, ""}});
    check_modes_agree(*s, "literal prefix");
    return s;
  }();
  run_scan(state, *scanner);
}
BENCHMARK(BM_LiteralPrefixFilter)
    ->ArgsProduct({{1}, {kInterpreter, kPrefilter, kStartTable}})
    ->ArgNames({"filters", "mode"})
    ->Unit(benchmark::kMicrosecond);

// Reference: copying the page once.
void BM_PageCopy(benchmark::State& state) {
  std::vector<char> copy(page().size());
  for (auto _ : state) {
    std::memcpy(copy.data(), page().text.data(), page().size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}
BENCHMARK(BM_PageCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kw

BENCHMARK_MAIN();
