// The real page scan on a body held in memory: the body arrives in two pieces cut at a chosen
// byte (no receive crosses the cut), and what the browser would receive collects in a string.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "filters/page_filter.h"
#include "filters/page_output.h"
#include "filters/pull_input.h"
#include "filters/web_filter.h"

namespace kw::test {

class CutBody final : public BodySource {
 public:
  CutBody(const std::string& body, size_t cut) : body_(body), cut_(cut) {}

 protected:
  int receive(MatchContext*, char* destination, int n) override {
    const size_t until = at_ < cut_ ? cut_ : body_.size();
    const size_t piece = std::min(static_cast<size_t>(n), until - at_);
    std::memcpy(destination, body_.data() + at_, piece);
    destination[piece] = '\0';
    at_ += piece;
    return static_cast<int>(piece);
  }
  // Every receive waits, as for a server that sends each piece only when asked.
  int receive_now(MatchContext*, char*, int) override { return kNetNothingYet; }

 private:
  const std::string& body_;
  size_t cut_;
  size_t at_ = 0;
};

class StringOutput final : public PageOutput {
 public:
  explicit StringOutput(std::string* out) : PageOutput(kNoSocket), out_(out) {}

 protected:
  bool deliver(const char* data, size_t n) override {
    out_->append(data, n);
    return true;
  }

 private:
  std::string* out_;
};

// The body after `filters` (a page's list, in order) as scan_page makes it, with the table of
// the installed list (installed_scan_table) or, without `installed`, one of the page's own.
inline std::string scan_in_memory(const std::vector<const WebFilter*>& filters,
                                  const std::string& body, size_t cut, bool installed) {
  LinkPat* page = nullptr;
  for (auto f = filters.rbegin(); f != filters.rend(); ++f) {
    page = new_linkpat(const_cast<WebFilter*>(*f), page);
  }
  std::vector<char> a(kSwapBufferSize);
  std::vector<char> b(kSwapBufferSize);
  std::string out;
  CutBody source(body, cut);
  StringOutput output(&out);
  MatchContext ctx{};
  ctx.buffer_a = a.data();
  ctx.buffer_b = b.data();
  ctx.current_buffer = a.data();
  ctx.buffer_end = a.data() + kSwapBufferSize - 1;
  ctx.source = &source;
  ctx.output = &output;
  scan_page(&ctx, page, installed ? installed_scan_table() : nullptr);
  output.flush();
  free_linkpat_list(page);
  return out;
}

}  // namespace kw::test
