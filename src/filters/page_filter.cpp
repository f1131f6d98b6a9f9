// The web page filter transfer: filter selection by URL, the "<start>" and "<end>" passes, and
// the use count of web_filter_list. The body scan itself is in page_scan.cpp.
#include "filters/page_filter.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
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

enum class Role { kScan, kStart, kEnd };

// What an active filter with a Match does: its text "<start>" or "<end>", or scanning pages.
Role role_of(const WebFilter& f) {
  const char* match = f.match.get();
  if (match[0] != '<') return Role::kScan;
  if (std::strcmp(match, "<start>") == 0) return Role::kStart;
  if (std::strcmp(match, "<end>") == 0) return Role::kEnd;
  return Role::kScan;
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

void log_filter_hit(const char* lead, const MatchContext* ctx, const WebFilter& f) {
  f.hits.add();
  if (ctx->watcher != nullptr || !log_category_on(kLogHtmlFilters)) return;
  // Put together by hand: formatting costs more than the rest of a small page's hits.
  char line[2048];
  char* const last = line + sizeof line - 1;
  char* out = line;
  auto put = [&](const char* text, size_t n) {
    n = std::min(n, static_cast<size_t>(last - out));
    std::memcpy(out, text, n);
    out += n;
  };
  put(lead, std::strlen(lead));
  char digits[16];
  const int number = ctx->input != nullptr ? static_cast<int>(ctx->input->number) : 0;
  const char* digits_end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  put(digits, static_cast<size_t>(digits_end - digits));
  put(": ", 2);
  const char* name = f.name != nullptr ? f.name.get() : "";
  put(name, std::strlen(name));
  *out = '\0';
  add_log_line(line);
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
  PageFilterList page;
  const int selected = run_start_filters(web_filter_list, &ctx, is_text, &page, installed);
  if (selected != kResultOk) {
    web_filter_users_add(-1);
    add_log_linef("R** %u Page relayed unfiltered: %s **", browser->number, result_name(selected));
    const int64_t moved = output.flush() ? relay_to_end(server, browser) : 0;
    return moved > 0 ? 1 : 0;
  }
  if (page.empty()) {
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
  scan_page(&ctx, &page, installed);
  run_end_filters(web_filter_list, &ctx, is_text);
  web_filter_users_add(-1);
  output.flush();
  if (recording) recording->keep();
  return 1;
}

bool PageFilterList::reserve(size_t n) {
  if (n <= capacity_) return true;
  auto* more = static_cast<Entry*>(::operator new(n * sizeof(Entry), std::nothrow));
  if (more == nullptr) return false;
  std::copy(entries_, entries_ + size_, more);
  heap_.reset(more);
  entries_ = more;
  capacity_ = n;
  return true;
}

int run_start_filters(WebFilter* first, MatchContext* ctx, int is_text, PageFilterList* page,
                      const ListScanTable* installed) {
  // Room for every filter the page may need is made before any text goes out, so a page whose
  // list cannot be held is relayed as it came, without the "<start>" texts as well. Flags may
  // change meanwhile, so the room does not depend on them.
  size_t most = 0;
  for (WebFilter* f = first; f != nullptr; f = f->next) most += f->match != nullptr;
  if (!page->reserve(page->size() + most)) return kResultNoMemory;
  page->table = installed;
  size_t place = 0;
  for (WebFilter* f = first; f != nullptr; f = f->next, ++place) {
    if ((f->flags & FILTER_ACTIVE) == 0 || f->match == nullptr) continue;
    const Role role = role_of(*f);
    if (role == Role::kEnd || !url_matches(ctx, *f)) continue;
    if (role == Role::kStart) {
      // A failed send is not acted on here: the scan that follows stops at its first send.
      if (is_text) {
        emit_replacement(ctx, f->replace_code);
        log_filter_hit("V<start> ", ctx, *f);
      }
      continue;
    }
    page->add(f, installed != nullptr ? installed->bit_at(place, f) : -1);
  }
  return kResultOk;
}

int run_end_filters(WebFilter* first, MatchContext* ctx, int is_text) {
  clear_variables(ctx);
  if (!is_text) return 0;
  for (WebFilter* f = first; f != nullptr; f = f->next) {
    if ((f->flags & FILTER_ACTIVE) == 0 || !url_matches(ctx, *f)) continue;
    if (f->match == nullptr || role_of(*f) != Role::kEnd) continue;
    if (emit_replacement(ctx, f->replace_code) == kResultSendFailed) return 0;
    log_filter_hit("V<end> ", ctx, *f);
  }
  return 1;
}

void ListScanTable::build(const WebFilter* first) {
  table.clear();
  records.clear();
  places.clear();
  for (const WebFilter* f = first; f != nullptr; f = f->next) {
    const int index = static_cast<int>(records.size());
    const bool tried = f->match_code && f->limit >= 2;
    places.emplace_back(f, tried && index < StartTable::kMaxFilters ? index : -1);
    if (!tried) continue;
    table.add(index, f->match_code, f->bounds_code ? &f->bounds_code : nullptr, f->limit);
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
