// The web page filter transfer: filter selection by URL, the "<start>" and "<end>" passes, and
// the use count of web_filter_list. The body scan itself is in page_scan.cpp.
#include "filters/page_filter.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/char_class.h"
#include "filters/emit_replacement.h"
#include "filters/matcher.h"
#include "filters/page_output.h"
#include "filters/pull_input.h"
#include "filters/recent_pages.h"
#include "platform/designed_lock.h"
#include "report/frontend.h"

namespace kw {
namespace {

DesignedLock web_filter_lock;
int32_t web_filter_users = 0;  // guarded by web_filter_lock

// The installed list's table and the change count it was built at; guarded by
// web_filter_lock, and read without it only while web_filter_users is positive.
ListScanTable installed_table;
uint64_t installed_change = 0;
bool installed_built = false;

bool match_text_is(const WebFilter& f, const char* text) {
  return f.match != nullptr && std::strcmp(f.match.get(), text) == 0;
}

// A filter that takes part in the scan of a page whose URL it matches.
bool scans_the_page(const WebFilter& f) {
  return (f.flags & FILTER_ACTIVE) != 0 && f.match != nullptr && !match_text_is(f, "<end>") &&
         !match_text_is(f, "<start>");
}

// The body from the server connection, as server_body() brings it, with a copy of its first
// bytes kept for the recent pages once the transfer is done.
class RecordingBody final : public BodySource {
 public:
  explicit RecordingBody(const HttpMessage* browser) {
    const RequestLine* r = browser->request;
    if (r != nullptr && r->url != nullptr && r->url_end != nullptr) {
      page_.url.assign(r->url, r->url_end);
    }
  }

  // Relays the rest of the body unchanged (the page has no filters), recording it on the way;
  // every piece goes out before the next receive. Returns the bytes relayed.
  int64_t relay(MatchContext* ctx) {
    int64_t moved = 0;
    char* piece = ctx->buffer_a;
    for (int got; (got = receive(ctx, piece, kSwapBufferSize - 1)) > 0; moved += got) {
      if (!ctx->output->write(piece, static_cast<size_t>(got)) || !ctx->output->flush()) break;
    }
    return moved;
  }

  void keep() { keep_recent_page(std::move(page_)); }

 protected:
  int receive(MatchContext* ctx, char* destination, int n) override {
    const int got = BodySource::receive(ctx, destination, n);
    page_.add(destination, static_cast<size_t>(got));
    return got;
  }
  int receive_now(MatchContext* ctx, char* destination, int n) override {
    const int got = BodySource::receive_now(ctx, destination, n);
    if (got > 0) page_.add(destination, static_cast<size_t>(got));
    return got;
  }

 private:
  RecentPage page_;
};

}  // namespace

// The URL pattern matches a prefix of the URL from the host on (the scheme and "//" are not
// part of it).
bool url_matches(MatchContext* ctx, const WebFilter& f) {
  if (!f.url_code) return true;
  const RequestLine* r = ctx->client != nullptr ? ctx->client->request : nullptr;
  if (r == nullptr || r->host == nullptr || r->url_end == nullptr) return false;
  set_string_window(ctx, r->host, r->url_end);
  return match_pattern(ctx, f.url_code) != nullptr;
}

void log_filter_hit(const char* format, const MatchContext* ctx, const WebFilter& f) {
  f.hits.add();
  if (ctx->watcher != nullptr || !log_category_on(kLogHtmlFilters)) return;
  add_log_linef(format, ctx->input != nullptr ? static_cast<int>(ctx->input->number) : 0,
                f.name != nullptr ? f.name.get() : "");
}

int filter_page_body(HttpMessage* server, HttpMessage* browser, const char* content_type) {
  PageOutput output(*browser->socket, browser->stream);
  char buffer_a[kSwapBufferSize];
  char buffer_b[kSwapBufferSize];
  MatchContext ctx{};
  set_swap_buffers(&ctx, buffer_a, buffer_b);
  ctx.input = server;
  ctx.source = server_body();
  ctx.client = browser;
  ctx.output = &output;
  const int is_text =
      content_type != nullptr && prefix_equals_ignoring_case(content_type, "text/", 5) ? 1 : 0;

  // Only text bodies are kept, and only while the try window watches.
  std::optional<RecordingBody> recording;
  if (is_text && recent_pages_watched()) {
    recording.emplace(browser);
    ctx.source = &*recording;
  }

  web_filter_users_add(1);
  const ListScanTable* installed = installed_scan_table();
  int selected = kResultOk;
  LinkPat* page = run_start_filters(web_filter_list, &ctx, is_text, &selected);
  if (selected != kResultOk) {
    web_filter_users_add(-1);
    add_log_linef("R** %u Page relayed unfiltered: %s **", browser->number, result_name(selected));
    const int64_t moved = output.flush() ? relay_to_end(server, browser) : 0;
    return moved > 0 ? 1 : 0;
  }
  if (page == nullptr) {
    // Nothing to scan: the list is free for others while the body is relayed unchanged.
    web_filter_users_add(-1);
    int64_t moved = 0;
    if (output.flush()) moved = recording ? recording->relay(&ctx) : relay_to_end(server, browser);
    web_filter_users_add(1);
    run_end_filters(web_filter_list, &ctx, is_text);
    web_filter_users_add(-1);
    output.flush();
    if (recording) recording->keep();
    return moved > 0 ? 1 : 0;
  }
  scan_page(&ctx, page, installed);
  run_end_filters(web_filter_list, &ctx, is_text);
  web_filter_users_add(-1);
  output.flush();
  free_linkpat_list(page);
  if (recording) recording->keep();
  return 1;
}

LinkPat* run_start_filters(WebFilter* first, MatchContext* ctx, int is_text, int* result) {
  if (result != nullptr) *result = kResultOk;
  // Every node the page may need is taken before any text goes out, so a page whose list
  // cannot be made is relayed as it came, without the "<start>" texts as well.
  LinkPat* spare = nullptr;
  for (WebFilter* f = first; f != nullptr; f = f->next) {
    if (!scans_the_page(*f)) continue;
    LinkPat* node = new_linkpat(nullptr, spare);
    if (node == nullptr) {
      free_linkpat_list(spare);
      if (result != nullptr) *result = kResultNoMemory;
      return nullptr;
    }
    spare = node;
  }
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
    LinkPat* node = spare;
    spare = node->next;
    *node = LinkPat{f, nullptr};
    *tail = node;
    tail = &node->next;
  }
  free_linkpat_list(spare);
  return head;
}

int run_end_filters(WebFilter* first, MatchContext* ctx, int is_text) {
  clear_variables(ctx);
  if (!is_text) return 0;
  for (WebFilter* f = first; f != nullptr; f = f->next) {
    if ((f->flags & FILTER_ACTIVE) == 0 || !url_matches(ctx, *f)) continue;
    if (!match_text_is(*f, "<end>")) continue;
    if (emit_replacement(ctx, f->replace_code) == kResultSendFailed) return 0;
    log_filter_hit("V<end> %d: %s", ctx, *f);
  }
  return 1;
}

void ListScanTable::build(const WebFilter* first) {
  table.clear();
  records.clear();
  for (const WebFilter* f = first; f != nullptr; f = f->next) {
    if (!f->match_code || f->limit < 2) continue;
    table.add(static_cast<int>(records.size()), f->match_code,
              f->bounds_code ? &f->bounds_code : nullptr, f->limit);
    records.push_back(f);
  }
  table.finish();
}

int ListScanTable::bit_of(const WebFilter* record) const {
  const size_t known = std::min(records.size(), static_cast<size_t>(StartTable::kMaxFilters));
  for (size_t i = 0; i < known; ++i) {
    if (records[i] == record) return static_cast<int>(i);
  }
  return -1;
}

const ListScanTable* installed_scan_table() {
  DesignedLock::Guard guard(web_filter_lock);
  const uint64_t change = web_filter_list_change();
  if (!installed_built || installed_change != change) {
    installed_table.build(web_filter_list);
    installed_change = change;
    installed_built = true;
  }
  return &installed_table;
}

int web_filter_users_add(int delta) {
  DesignedLock::Guard guard(web_filter_lock);
  web_filter_users += delta;
  return web_filter_users;
}

int web_filter_lock_op(int code) { return web_filter_lock.op(code); }

}  // namespace kw
