// The web page filter transfer: filter selection by URL, the "<start>" and "<end>" passes, and
// the use count of web_filter_list. The body scan itself is in page_scan.cpp.
#include "filters/page_filter.h"

#include <cstring>

#include "base/char_class.h"
#include "filters/emit_replacement.h"
#include "filters/matcher.h"
#include "filters/page_output.h"
#include "platform/designed_lock.h"
#include "report/frontend.h"

namespace kw {
namespace {

DesignedLock web_filter_lock;
int32_t web_filter_users = 0;  // guarded by web_filter_lock

bool match_text_is(const WebFilter& f, const char* text) {
  return f.match != nullptr && std::strcmp(f.match.get(), text) == 0;
}

// Whether the filter applies to the request: its Url pattern matches a prefix of the URL from
// the host on (the scheme and "//" are not part of it). Variables it stores stay in the context.
bool url_matches(MatchContext* ctx, const WebFilter& f) {
  if (!f.url_code) return true;
  const RequestLine* r = ctx->client != nullptr ? ctx->client->request : nullptr;
  if (r == nullptr || r->host == nullptr || r->url_end == nullptr) return false;
  set_string_window(ctx, r->host, r->url_end);
  return match_pattern(ctx, f.url_code) != nullptr;
}

}  // namespace

void log_filter_hit(const char* format, const MatchContext* ctx, const WebFilter& f) {
  if (!log_category_on(kLogHtmlFilters)) return;
  add_log_linef(format, ctx->input != nullptr ? static_cast<int>(ctx->input->number) : 0,
                f.name != nullptr ? f.name.get() : "");
}

int filter_page_body(HttpMessage* server, HttpMessage* browser, const char* content_type) {
  PageOutput output(*browser->socket);
  char buffer_a[kSwapBufferSize];
  char buffer_b[kSwapBufferSize];
  MatchContext ctx{};
  ctx.buffer_a = buffer_a;
  ctx.buffer_b = buffer_b;
  ctx.current_buffer = buffer_a;
  ctx.pending_start = buffer_a;
  ctx.data_end = buffer_a;
  ctx.buffer_end = buffer_a + kSwapBufferSize - 1;
  ctx.input = server;
  ctx.client = browser;
  ctx.output = &output;
  const int is_text =
      content_type != nullptr && prefix_equals_ignoring_case(content_type, "text/", 5) ? 1 : 0;

  web_filter_users_add(1);
  LinkPat* page = run_start_filters(web_filter_list, &ctx, is_text);
  if (page == nullptr) {
    // Nothing to scan: the list is free for others while the body is relayed unchanged.
    web_filter_users_add(-1);
    const int64_t moved = output.flush() ? relay_to_end(server, browser) : 0;
    web_filter_users_add(1);
    run_end_filters(web_filter_list, &ctx, is_text);
    web_filter_users_add(-1);
    output.flush();
    return moved > 0 ? 1 : 0;
  }
  scan_page(&ctx, page);
  run_end_filters(web_filter_list, &ctx, is_text);
  web_filter_users_add(-1);
  output.flush();
  free_linkpat_list(page);
  return 1;
}

LinkPat* run_start_filters(WebFilter* first, MatchContext* ctx, int is_text) {
  LinkPat* head = nullptr;
  LinkPat** tail = &head;
  for (WebFilter* f = first; f != nullptr; f = f->next) {
    if ((f->flags & FILTER_ACTIVE) == 0 || f->match == nullptr) continue;
    if (match_text_is(*f, "<end>") || !url_matches(ctx, *f)) continue;
    if (match_text_is(*f, "<start>")) {
      // A failed send is not acted on here: the scan that follows stops at its first send.
      if (is_text) {
        emit_replacement(ctx, f->replace_code);
        log_filter_hit("V<start> %d: %s", ctx, *f);
      }
      continue;
    }
    *tail = new_linkpat(f, nullptr);
    tail = &(*tail)->next;
  }
  return head;
}

int run_end_filters(WebFilter* first, MatchContext* ctx, int is_text) {
  clear_variables(ctx);
  if (!is_text) return 0;
  for (WebFilter* f = first; f != nullptr; f = f->next) {
    if ((f->flags & FILTER_ACTIVE) == 0 || !url_matches(ctx, *f)) continue;
    if (!match_text_is(*f, "<end>")) continue;
    if (emit_replacement(ctx, f->replace_code) == kEmitSendFailed) return 0;
    log_filter_hit("V<end> %d: %s", ctx, *f);
  }
  return 1;
}

int web_filter_users_add(int delta) {
  DesignedLock::Guard guard(web_filter_lock);
  web_filter_users += delta;
  return web_filter_users;
}

int web_filter_lock_op(int code) { return web_filter_lock.op(code); }

}  // namespace kw
