// The page scan: the body passes position by position through the page's filters while it
// streams in.
//
// At each position the filters are tried in list order (their priority). A filter's window
// starts at the position and covers at most Limit - 1 bytes; with Bounds, the bounds match
// decides the window and the Match must end exactly where the bounds match ends. A match must
// not be empty. The first filter that matches has its replacement sent instead of the matched
// bytes and scanning resumes at the match end; a FILTER_MULTI filter's replacement is put in
// front of the rest of the input instead (swap_in_replacement) and scanned again: by the filters
// after it at its first byte, by all of them from its second byte on.
//
// The bytes live in the current swap buffer: [current_buffer, data_end) has been received,
// [pending_start, scan position) has been scanned but not sent. The matchers receive more as
// they need it (pull_input); when a window would pass the buffer's end, the unscanned bytes move
// to its start. Output goes through the transfer's queue, which is flushed before every receive,
// so the browser gets every scanned byte before the scan waits for the server.
//
// What the browser receives depends only on the bytes of the body, not on how they were cut
// into receives (with one exception: whether a re-scanned replacement and the bytes read ahead
// of the scan fit the other swap buffer). Positions where no filter can start (by the start
// table of the filters' first bytes) are passed over, and so are filters that can never match
// (no Match code, Limit 0 or 1), since trying them would only fail. Runs on the transfer's
// connection thread.
#include <algorithm>
#include <cstring>
#include <vector>

#include "filters/emit_replacement.h"
#include "filters/match_prefilter.h"
#include "filters/matcher.h"
#include "filters/page_filter.h"
#include "filters/page_output.h"
#include "filters/pull_input.h"
#include "report/frontend.h"

namespace kw {
namespace {

// Receives of a body scanned without re-scan filters: half the swap buffer.
constexpr int kLargePullSize = kSwapBufferSize / 2;

bool can_ever_match(const WebFilter& f) { return f.match_code && f.limit >= 2; }

class PageScan {
 public:
  PageScan(MatchContext* ctx, LinkPat* list) : ctx_(ctx) {
    bool rescans = false;
    for (LinkPat* node = list; node != nullptr; node = node->next) {
      const WebFilter* f = node->web_filter();
      rescans |= (f->flags & FILTER_MULTI) != 0;
      const int index = static_cast<int>(filters_.size());
      filters_.push_back(f);
      if (can_ever_match(*f)) {
        table_.add(index, f->match_code, f->bounds_code ? &f->bounds_code : nullptr);
      }
    }
    // How far ahead of the scan the body has been read decides only whether a re-scanned
    // replacement still fits the other swap buffer. Without re-scan filters it changes nothing
    // the browser sees, so the body comes in pieces that save most of the receives (and the
    // sends that go before each of them).
    if (!rescans) ctx_->pull_size = kLargePullSize;
  }

  int run();

 private:
  // The scan position has reached data end: everything before it is queued and the buffer
  // starts afresh there.
  char* restart_buffer();
  // Receives at least one byte at data end (pos). False when the input has ended.
  bool more_input(char* pos);
  // Makes room for a window of `limit` bytes from pos by moving the unscanned bytes to the start
  // of the buffer. Returns the new scan position.
  char* make_room(char* pos, uint32_t limit);
  // Tries one filter at *pos (which a move may change). The match end, or none.
  char* attempt(const WebFilter& f, char** pos);
  void queue_pending(char* pos);
  void prepare_window(char* pos, char* window_end);

  MatchContext* ctx_;
  std::vector<const WebFilter*> filters_;
  StartTable table_;
};

void PageScan::queue_pending(char* pos) {
  if (pos > ctx_->pending_start) {
    ctx_->output->write(ctx_->pending_start, static_cast<size_t>(pos - ctx_->pending_start));
  }
  ctx_->pending_start = pos;
}

char* PageScan::restart_buffer() {
  queue_pending(ctx_->data_end);
  char* start = ctx_->current_buffer;
  ctx_->pending_start = start;
  ctx_->data_end = start;
  return start;
}

bool PageScan::more_input(char* pos) {
  ctx_->position = pos;
  const int piece = ctx_->pull_size > 0 ? ctx_->pull_size : kPullSize;
  prepare_window(pos, std::min(pos + piece, ctx_->buffer_end));
  return pull_input(ctx_, pos) != 0;
}

char* PageScan::make_room(char* pos, uint32_t limit) {
  if (pos + limit <= ctx_->buffer_end) return pos;
  queue_pending(pos);
  char* start = ctx_->current_buffer;
  const size_t unscanned = static_cast<size_t>(ctx_->data_end - pos);
  std::memmove(start, pos, unscanned);
  ctx_->data_end = start + unscanned;
  ctx_->pending_start = start;
  return start;
}

void PageScan::prepare_window(char* pos, char* window_end) {
  ctx_->position = pos;
  ctx_->window_end = window_end;
  ctx_->usable_end = std::min(ctx_->data_end, window_end);
  ctx_->frame = nullptr;
}

char* PageScan::attempt(const WebFilter& f, char** pos_io) {
  char* pos = make_room(*pos_io, f.limit);
  *pos_io = pos;
  if (ctx_->variables_set) clear_variables(ctx_);
  char* window_end = pos + f.limit - 1;
  char* bounds_end = nullptr;
  if (f.bounds_code) {
    prepare_window(pos, window_end);
    bounds_end = match_pattern(ctx_, f.bounds_code,
                               f.bounds_matcher != nullptr ? f.bounds_matcher : match_full);
    if (bounds_end == nullptr) return nullptr;
    window_end = bounds_end;
  }
  prepare_window(pos, window_end);
  char* end = match_pattern(ctx_, f.match_code);
  if (end == nullptr || end == pos) return nullptr;
  if (bounds_end != nullptr && end != bounds_end) return nullptr;
  return end;
}

int PageScan::run() {
  MatchContext* const c = ctx_;
  const size_t count = filters_.size();
  char* pos = c->current_buffer;
  c->pending_start = pos;
  c->data_end = pos;
  c->variables_set = 1;
  size_t first = 0;  // the first filter to try at pos: after a re-scan swap, those after it
  for (;;) {
    if (pos == c->data_end) {
      pos = restart_buffer();
      if (!more_input(pos)) break;
    }
    if (c->output->failed()) return 0;
    if (first == 0) {
      pos = const_cast<char*>(table_.next_candidate(pos, c->data_end));
      if (pos == c->data_end) continue;
    }

    const uint64_t candidates = table_.candidates(pos, c->data_end);
    bool moved = false;
    for (size_t i = first; i < count; ++i) {
      if (i < StartTable::kMaxFilters) {
        const uint64_t rest = candidates & (~uint64_t{0} << i);
        if (rest == 0) {
          i = StartTable::kMaxFilters - 1;
          continue;
        }
        i = static_cast<size_t>(__builtin_ctzll(rest));
        if (i >= count) break;
      } else if (!can_ever_match(*filters_[i])) {
        continue;
      }
      const WebFilter& f = *filters_[i];
      char* end = attempt(f, &pos);
      if (c->output->failed()) return 0;
      if (end == nullptr) continue;

      queue_pending(pos);
      c->pending_start = end;
      log_filter_hit("VMatch %d: %s", c, f);
      if ((f.flags & FILTER_MULTI) != 0) {
        if (swap_in_replacement(c, &f)) {
          pos = c->pending_start;
          first = i + 1;
          moved = true;
          break;
        }
        add_log_line("RHTML Swap Buffer Overflow, using direct replace");
      }
      if (emit_replacement(c, f.replace_code) == kEmitSendFailed) return 0;
      pos = end;
      first = 0;
      moved = true;
      break;
    }
    if (!moved) {
      ++pos;
      first = 0;
    }
  }
  queue_pending(pos);
  return c->output->failed() ? 0 : 1;
}

}  // namespace

int scan_page(MatchContext* ctx, LinkPat* filters) {
  if (ctx->output != nullptr) return PageScan(ctx, filters).run();
  PageOutput own(*ctx->client->socket);
  ctx->output = &own;
  int result = PageScan(ctx, filters).run();
  if (!own.flush()) result = 0;
  ctx->output = nullptr;
  return result;
}

int swap_in_replacement(MatchContext* ctx, const WebFilter* record) {
  if (!record->replace_code) return 1;
  char* other = ctx->current_buffer == ctx->buffer_a ? ctx->buffer_b : ctx->buffer_a;
  const long unscanned = ctx->data_end - ctx->pending_start;
  const int expansion = emit_replacement(ctx, record->replace_code, other, kSwapBufferSize);
  // The buffer's last byte stays free for the terminator after the data.
  if (expansion < 0 || expansion + unscanned > kSwapBufferSize - 1) return 0;
  std::memcpy(other + expansion, ctx->pending_start, static_cast<size_t>(unscanned));
  ctx->current_buffer = other;
  ctx->pending_start = other;
  ctx->data_end = other + expansion + unscanned;
  *ctx->data_end = '\0';
  ctx->buffer_end = other + kSwapBufferSize - 1;
  return 1;
}

}  // namespace kw
