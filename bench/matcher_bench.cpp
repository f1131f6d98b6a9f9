// The page scan on a realistic 200 KB page held in memory: the product's own scan_page, fed by
// a body source that hands the page over in the pieces a transfer receives, writing into a
// queue that collects in memory (the tests' memory_scan.h). The figures are the scan's and the matchers' cost alone.
//
// Two ways to run the same scan, with identical output (checked before timing):
//   installed   the start table built once for the installed list, as every transfer uses it;
//   own table   a table built for the page itself, as for filters the installed list lacks.
// Inputs and why they are hard: the twenty typical filters (tag removers with stars to a
// closing tag, attribute rewriters with \w, "=", quotes and variables, a word list with
// alternation, one filter that begins with a blank run) begin at "<" and at many letters and
// spaces of the running text; one literal-prefix tag remover ("<script*</script>") shows the
// cost floor. References measured in the same run: searching the page for "<" with memchr, and
// copying it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/web_filter.h"
#include "realistic_page.h"
#include "support/memory_scan.h"

namespace kw {
namespace {

struct Page {
  Page() : text(bench::build_realistic_page()) {}
  std::string text;
};

const Page& page() {
  static const Page p;
  return p;
}

enum Mode { kInstalled = 0, kOwnTable = 1 };
const char* const kModeNames[] = {"installed", "own table"};

// Installs the filters as the program's list and keeps the page's list of them.
class FilterSet {
 public:
  explicit FilterSet(const std::vector<bench::TypicalFilter>& filters) : filters_(filters) {}

  // Scans the page through the filters into out.
  void scan(Mode mode, std::string* out) {
    install();
    *out = test::scan_in_memory(page_, page().text, page().text.size(), mode == kInstalled);
  }

 private:
  void install() {
    if (installed_ == this) return;
    free_web_filters();
    for (const bench::TypicalFilter& f : filters_) {
      build_web_filter(nullptr, FILTER_ACTIVE, f.name, nullptr, f.match, f.bounds, f.limit,
                       f.replace);
    }
    for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
      if ((f->flags & FILTER_ACTIVE) == 0) {
        std::fprintf(stderr, "filter \"%s\" does not compile\n", f->name.get());
        std::abort();
      }
    }
    page_.clear();
    for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) page_.push_back(f);
    installed_ = this;
  }

  static inline FilterSet* installed_ = nullptr;
  std::vector<bench::TypicalFilter> filters_;
  std::vector<const WebFilter*> page_;
};

std::vector<bench::TypicalFilter> first_filters(size_t count) {
  const auto& all = bench::typical_filters();
  return std::vector<bench::TypicalFilter>(all.begin(), all.begin() + static_cast<long>(count));
}

// Both modes must produce the same page; a benchmark of a wrong result is worthless.
void check_modes_agree(FilterSet& set, const char* what) {
  std::string installed;
  std::string own;
  set.scan(kInstalled, &installed);
  set.scan(kOwnTable, &own);
  if (installed != own) {
    std::fprintf(stderr, "%s: the scan modes disagree\n", what);
    std::abort();
  }
}

void run_scan(benchmark::State& state, FilterSet& set) {
  const Mode mode = static_cast<Mode>(state.range(1));
  std::string out;
  out.reserve(page().text.size() + 4096);
  for (auto _ : state) {
    set.scan(mode, &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().text.size()));
  state.counters["output_kb"] = static_cast<double>(out.size()) / 1024;
  state.SetLabel(kModeNames[mode]);
}

// Typical filters, the first N of the twenty.
void BM_TypicalFilters(benchmark::State& state) {
  static std::vector<FilterSet*> sets(21, nullptr);
  const size_t count = static_cast<size_t>(state.range(0));
  if (sets[count] == nullptr) {
    sets[count] = new FilterSet(first_filters(count));
    check_modes_agree(*sets[count], "typical filters");
  }
  run_scan(state, *sets[count]);
}
BENCHMARK(BM_TypicalFilters)
    ->ArgsProduct({{1, 5, 20}, {kInstalled, kOwnTable}})
    ->ArgNames({"filters", "mode"})
    ->Unit(benchmark::kMicrosecond);

// One tag remover with a literal prefix.
void BM_LiteralPrefixFilter(benchmark::State& state) {
  static FilterSet* set = [] {
    auto* s = new FilterSet({{"Scripts", nullptr, "<script*</script>", 4096, ""}});
    check_modes_agree(*s, "literal prefix");
    return s;
  }();
  run_scan(state, *set);
}
BENCHMARK(BM_LiteralPrefixFilter)
    ->ArgsProduct({{1}, {kInstalled, kOwnTable}})
    ->ArgNames({"filters", "mode"})
    ->Unit(benchmark::kMicrosecond);

// Reference: finding every "<" of the page.
void BM_PageMemchr(benchmark::State& state) {
  const std::string& text = page().text;
  for (auto _ : state) {
    size_t found = 0;
    for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(
                                          p, '<', text.size() - (p - text.data())))) != nullptr;
         ++p) {
      ++found;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PageMemchr)->Unit(benchmark::kMicrosecond);

// Reference: copying the page once.
void BM_PageCopy(benchmark::State& state) {
  std::vector<char> copy(page().text.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), page().text.data(), page().text.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().text.size()));
}
BENCHMARK(BM_PageCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kw

BENCHMARK_MAIN();
