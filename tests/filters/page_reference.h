// A small, obviously correct model of the page scan for checking the real one: the whole body
// in one string, every filter tried at every position in list order, a re-scanned replacement
// put in front of the rest of the body, no buffers, no queues and no shortcuts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filters/emit_replacement.h"
#include "filters/matcher.h"
#include "filters/web_filter.h"
#include "support/memory_scan.h"

namespace kw::test {

// The body as the browser should receive it after `filters` (a page's list, in order), with
// no request line for URL codes in replacements.
inline std::string reference_scan(const std::vector<const WebFilter*>& filters,
                                  const std::string& body) {
  std::string out;
  std::string text = body;  // the rest of the input, from the current buffer's start
  std::vector<char> expansion(1 << 20);
  MatchContext ctx{};
  size_t pos = 0;
  size_t first = 0;  // the first filter to try at pos: after a re-scanned one, the next
  while (pos < text.size()) {
    bool moved = false;
    for (size_t i = first; i < filters.size() && !moved; ++i) {
      const WebFilter& f = *filters[i];
      if (!f.match_code || f.limit == 0) continue;
      char* at = text.data() + pos;
      char* end = text.data() + text.size();
      const auto run = [&](const PatternCode& code, char* window_end) {
        set_string_window(&ctx, at, window_end);
        ctx.data_end = end + 1;
        ctx.pattern = code.code();
        return match_full(&ctx);
      };
      clear_variables(&ctx);
      char* window_end = std::min(at + f.limit - 1, end);
      // With bounds, the match must end where they end.
      char* bounds_end = f.bounds_code ? run(f.bounds_code, window_end) : nullptr;
      if (f.bounds_code && bounds_end == nullptr) continue;
      char* match_end = run(f.match_code, bounds_end ? bounds_end : window_end);
      if (match_end == nullptr || match_end == at) continue;
      if (bounds_end != nullptr && match_end != bounds_end) continue;

      const int n = emit_replacement(&ctx, f.replace_code, expansion.data(),
                                     static_cast<int>(expansion.size()));
      const std::string replacement(expansion.data(), static_cast<size_t>(std::max(n, 0)));
      const bool multi = (f.flags & FILTER_MULTI) != 0;
      if (!multi) out += replacement;
      text = (multi ? replacement : "") + std::string(match_end, end);
      pos = 0;
      first = multi ? i + 1 : 0;
      moved = true;
    }
    if (!moved) {
      out += text[pos++];
      first = 0;
    }
  }
  return out;
}

// The installed list's active filters, in order.
inline std::vector<const WebFilter*> active_filters() {
  std::vector<const WebFilter*> filters;
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    if (f->flags & FILTER_ACTIVE) filters.push_back(f);
  }
  return filters;
}

// The page scan of `body` cut into two receives at every byte (alternately with the installed
// table and a page's own) gives the reference scan's page; true when that page differs from the
// body.
inline bool expect_reference_at_every_cut(const std::vector<const WebFilter*>& filters,
                                          const std::string& body) {
  const std::string expected = reference_scan(filters, body);
  for (size_t cut = 0; cut <= body.size(); ++cut) {
    const std::string got = scan_in_memory(filters, body, cut, cut % 2 == 0);
    EXPECT_EQ(got, expected) << "cut " << cut;
    if (got != expected) break;
  }
  return expected != body;
}

}  // namespace kw::test
