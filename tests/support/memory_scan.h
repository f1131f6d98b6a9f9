// The real page scan on a body held in memory: the body arrives in two pieces cut at a chosen
// byte (no receive crosses the cut), and what the browser would receive collects in a string.
#pragma once

#include <string>
#include <vector>

#include "filters/page_filter.h"
#include "filters/page_output.h"
#include "filters/pull_input.h"
#include "filters/web_filter.h"

namespace kw::test {

// The body after `filters` (a page's list, in order) as scan_page makes it, with the table of
// the installed list (installed_scan_table) or, without `installed`, one of the page's own.
inline std::string scan_in_memory(const std::vector<const WebFilter*>& filters,
                                  const std::string& body, size_t cut, bool installed) {
  // With the installed table, each filter carries its bit as a transfer's list does.
  PageFilterList page;
  page.reserve(filters.size());
  page.table = installed ? installed_scan_table() : nullptr;
  for (const WebFilter* f : filters) {
    size_t place = 0;
    for (const WebFilter* g = web_filter_list; g != nullptr && g != f; g = g->next) ++place;
    page.add(f, page.table != nullptr ? page.table->bit_at(place, f) : -1);
  }
  std::vector<char> a(kSwapBufferSize);
  std::vector<char> b(kSwapBufferSize);
  std::string out;
  MemoryBody source(body, cut);
  StringOutput output(&out);
  MatchContext ctx{};
  set_swap_buffers(&ctx, a.data(), b.data());
  ctx.source = &source;
  ctx.output = &output;
  scan_page(&ctx, &page, page.table);
  output.flush();
  return out;
}

}  // namespace kw::test
