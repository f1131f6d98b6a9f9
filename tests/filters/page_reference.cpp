// See page_reference.h.
#include "page_reference.h"

#include <algorithm>
#include <vector>

#include "filters/emit_replacement.h"
#include "filters/matcher.h"

namespace kw::test {

std::string reference_scan(const std::vector<const WebFilter*>& filters, const std::string& body,
                           HttpMessage* client) {
  std::string out;
  std::string text = body;  // the rest of the input, from the current buffer's start
  std::vector<char> expansion(1 << 20);
  MatchContext ctx{};
  ctx.client = client;
  size_t pos = 0;
  size_t first = 0;
  while (pos < text.size()) {
    bool moved = false;
    for (size_t i = first; i < filters.size() && !moved; ++i) {
      const WebFilter& f = *filters[i];
      if (!f.match_code || f.limit == 0) continue;
      clear_variables(&ctx);
      char* base = text.data();
      char* at = base + pos;
      char* end = base + text.size();
      char* window_end = std::min(at + f.limit - 1, end);
      set_string_window(&ctx, at, window_end);
      ctx.data_end = end + 1;
      char* bounds_end = nullptr;
      if (f.bounds_code) {
        ctx.pattern = f.bounds_code.code();
        bounds_end = match_full(&ctx);
        if (bounds_end == nullptr) continue;
        set_string_window(&ctx, at, bounds_end);
        ctx.data_end = end + 1;
      }
      ctx.pattern = f.match_code.code();
      char* match_end = match_full(&ctx);
      if (match_end == nullptr || match_end == at) continue;
      if (bounds_end != nullptr && match_end != bounds_end) continue;

      int n = emit_replacement(&ctx, f.replace_code, expansion.data(),
                               static_cast<int>(expansion.size()));
      if (n < 0) n = 0;
      const std::string replacement(expansion.data(), static_cast<size_t>(n));
      const std::string rest(match_end, end);
      moved = true;
      if ((f.flags & FILTER_MULTI) != 0) {
        text = replacement + rest;
        pos = 0;
        first = i + 1;
      } else {
        out += replacement;
        text = rest;
        pos = 0;
        first = 0;
      }
    }
    if (!moved) {
      out += text[pos];
      ++pos;
      first = 0;
    }
  }
  return out;
}

}  // namespace kw::test
