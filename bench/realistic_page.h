// Inputs for filtering benchmarks: a realistic HTML page and the twenty filters a typical user
// runs over it. Shared by the matcher benchmark and the whole-proxy filtered runs, so that both
// measure the same work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kw::bench {

// An HTML page of exactly `bytes` bytes built from repeated real-looking markup: a head with
// meta, style and scripts, navigation links with event handlers, articles of running text,
// photos and ad banners, layout tables with colours and fonts, iframes, forms and comments.
// The same seed gives the same page.
std::string build_realistic_page(size_t bytes = 200 * 1024, uint32_t seed = 1);

struct TypicalFilter {
  const char* name;
  const char* bounds;  // none, or the stretch a match must fill
  const char* match;
  uint32_t limit;
  const char* replace;
};

// Tag removers with bounds, attribute rewriters with \w, "=", quotes and variables, word lists
// with alternation: twenty filters in list order.
const std::vector<TypicalFilter>& typical_filters();

}  // namespace kw::bench
