// The page scan: the body passes position by position through the page's filters while it
// streams in.
//
// At each position the filters are tried in list order (their priority). A filter's window
// starts at the position and covers at most Limit - 1 bytes; with Bounds, the bounds match
// decides the window and the Match must end exactly where the bounds match ends. A match must
// not be empty. The first filter that matches has its replacement sent instead of the matched
// bytes and scanning resumes at the match end; a FILTER_MULTI filter's replacement is put in
// front of the rest of the input instead (swap_in_replacement) and scanned again: by the filters
// after it at its first byte, by all of them from its second byte on. A re-scan filter whose
// output holds its own match (or two that write each other's) would re-scan forever, so a match
// that lies wholly inside re-scanned bytes is swapped in again only so many times in a row;
// past that its replacement goes out directly. Any match that takes a byte from the server
// starts the count afresh, so ordinary chains of re-scan filters never meet the cap.
//
// The bytes live in the current swap buffer: [current_buffer, data_end) has been received,
// [pending_start, scan position) has been scanned but not sent. The matchers receive more as
// they need it (pull_input); when a window would pass the buffer's end, the unscanned bytes move
// to its start. Output goes through the transfer's queue, which is flushed before every receive,
// so the browser gets every scanned byte before the scan waits for the server.
//
// What the browser receives depends only on the bytes of the body, not on how they were cut
// into receives (with one exception: whether a re-scanned replacement and the bytes read ahead
// of the scan fit the other swap buffer). Positions where none of the page's filters can start
// are passed over, and at the others only the filters whose first bytes and literal runs occur
// there are tried, by the start table built once for the installed list (match_prefilter.h);
// a filter the table chose runs its matchers at once, without its code's own prefilter, which
// would mostly check the same bytes again. Filters that can never match (no Match code, Limit 0
// or 1) are never tried, since trying them would only fail. Runs on the transfer's connection
// thread.
//
// Each attempt is bounded (matcher.h), but a filter whose attempts all come close to the bound
// would take minutes over a page that keeps offering it positions. So a filter earns steps with
// every attempt in proportion to its window, far more than a search through the window takes,
// and starts with a reserve of several bounded attempts; one that spends more than that is
// stopped for the rest of the page, with a log line. What it earns and spends depends only on
// the body's bytes, so where that happens does too.
#include <algorithm>
#include <cstring>
#include <optional>

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

// Re-scan swaps in a row whose match lies wholly inside bytes an earlier swap put in.
constexpr int kMaxRescansInARow = 100;

// A filter's steps on one page: its reserve at the start, and what each attempt earns per byte
// of the filter's Limit.
constexpr int64_t kPageStepReserve = 16 * int64_t{kMaxMatchSteps};
constexpr int64_t kStepsPerLimitByte = 16;

// The bit of a filter stopped for the rest of the page: never tried again.
constexpr int kStoppedFilter = -2;

bool can_ever_match(const WebFilter& f) { return f.match_code && f.limit >= 2; }

class PageScan {
 public:
  PageScan(MatchContext* ctx, PageFilterList* list, const ListScanTable* installed)
      : ctx_(ctx), filters_(*list) {
    bool rescans = false;
    bool known = installed != nullptr;
    // Bits a list carries for this very table are taken as they are.
    const bool carried = known && list->table == installed;
    for (size_t i = 0; i < filters_.size(); ++i) {
      PageFilterList::Entry& e = filters_[i];
      e.work_left = kPageStepReserve;
      rescans |= (e.filter->flags & FILTER_MULTI) != 0;
      if (!known) continue;
      if (!can_ever_match(*e.filter)) {
        e.bit = -1;
        continue;
      }
      if (!carried) e.bit = installed->bit_of(e.filter);
      known = e.bit >= 0;
    }
    if (!known) {
      // Filters the installed table does not know: the page gets a table of its own.
      own_.emplace();
      for (size_t i = 0; i < filters_.size(); ++i) {
        PageFilterList::Entry& e = filters_[i];
        e.bit = -1;
        if (!can_ever_match(*e.filter)) continue;
        if (i < StartTable::kMaxFilters) e.bit = static_cast<int>(i);
        own_->add(static_cast<int>(i), e.filter->match_code,
                  e.filter->bounds_code ? &e.filter->bounds_code : nullptr, e.filter->limit);
      }
    }
    table_ = known ? &installed->table : &*own_;
    int last_bit = -1;
    for (size_t i = 0; i < filters_.size(); ++i) {
      const int bit = filters_[i].bit;
      if (bit >= 0) {
        mask_ |= uint64_t{1} << bit;
        in_bit_order_ &= bit > last_bit;
        last_bit = bit;
        filter_of_bit_[bit] = static_cast<uint32_t>(i);
      } else if (can_ever_match(*filters_[i].filter)) {
        everywhere_ = true;
      }
    }
    in_bit_order_ &= !everywhere_;
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
  // Tries one filter at *pos (which a move may change); `chosen` when the start table already
  // found it a candidate there. The match end, or none.
  char* attempt(const WebFilter& f, bool chosen, char** pos);
  enum Outcome { kNoMatch, kMatched, kFailed };
  // Tries filter i at *pos; on a match sends or swaps in its replacement and sets *pos and
  // *first for the next step.
  Outcome try_filter(size_t i, char** pos, size_t* first);
  void queue_pending(char* pos);
  void prepare_window(char* pos, char* window_end);
  // Whether the match [.., end) may be re-scanned, counting it if it lies inside swapped-in bytes.
  bool may_rescan(char* end);
  // A filter being tried is told of its match; kept out of the scan loop, which never needs it
  // on a page transfer.
  [[gnu::noinline]] void tell_watcher(const WebFilter& f, char* start, char* end) {
    ctx_->watcher->matched(ctx_, f, start, end, swapped_end_ != nullptr && start < swapped_end_);
  }
  // Swaps in f's replacement and records how far the swapped-in bytes now reach.
  bool swap_in(const WebFilter& f);
  // Charges filter i the steps its attempt took; stops it when it has spent what it earned.
  void charge(size_t i, uint64_t steps_before);

  MatchContext* ctx_;
  // The end of the swapped-in bytes ahead of the scan in the current buffer; none when the scan
  // is back in bytes from the server.
  char* swapped_end_ = nullptr;
  int rescans_in_a_row_ = 0;
  // The page's filters, each with its bit in the table, or -1: tried at every position.
  PageFilterList& filters_;
  const StartTable* table_ = nullptr;
  // The page's own table, made only when needed: clearing one costs more than scanning a small
  // page.
  std::optional<StartTable> own_;
  uint64_t mask_ = 0;        // the bits of the page's filters
  bool everywhere_ = false;  // some filter is tried at every position
  // The filters' bits rise in list order and none is tried everywhere: the candidates' bits
  // name the filters to try, in order.
  bool in_bit_order_ = true;
  uint32_t filter_of_bit_[StartTable::kMaxFilters] = {};
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
  swapped_end_ = nullptr;
  return start;
}

bool PageScan::more_input(char* pos) {
  ctx_->position = pos;
  const int piece = ctx_->pull_size > 0 ? ctx_->pull_size : kPullSize;
  prepare_window(pos, std::min(pos + piece, ctx_->buffer_end));
  return byte_available(ctx_, pos);
}

char* PageScan::make_room(char* pos, uint32_t limit) {
  if (pos + limit <= ctx_->buffer_end) return pos;
  queue_pending(pos);
  char* start = ctx_->current_buffer;
  const size_t unscanned = static_cast<size_t>(ctx_->data_end - pos);
  std::memmove(start, pos, unscanned);
  swapped_end_ =
      swapped_end_ != nullptr && swapped_end_ > pos ? start + (swapped_end_ - pos) : nullptr;
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

char* PageScan::attempt(const WebFilter& f, bool chosen, char** pos_io) {
  char* pos = make_room(*pos_io, f.limit);
  *pos_io = pos;
  if (ctx_->variables_set) clear_variables(ctx_);
  char* window_end = pos + f.limit - 1;
  char* bounds_end = nullptr;
  if (f.bounds_code) {
    prepare_window(pos, window_end);
    const MatchFunction matcher = f.bounds_matcher != nullptr ? f.bounds_matcher : match_full;
    if (chosen) {
      ctx_->pattern = f.bounds_code.code();
      bounds_end = matcher(ctx_);
    } else {
      bounds_end = match_pattern(ctx_, f.bounds_code, matcher);
    }
    if (bounds_end == nullptr) return nullptr;
    window_end = bounds_end;
  }
  prepare_window(pos, window_end);
  const MatchFunction matcher = f.match_matcher != nullptr ? f.match_matcher : match_full;
  char* end;
  if (chosen) {
    ctx_->pattern = f.match_code.code();
    end = matcher(ctx_);
  } else {
    end = match_pattern(ctx_, f.match_code, matcher);
  }
  if (end == nullptr || end == pos) return nullptr;
  if (bounds_end != nullptr && end != bounds_end) return nullptr;
  return end;
}

bool PageScan::may_rescan(char* end) {
  if (swapped_end_ == nullptr || end > swapped_end_) {
    rescans_in_a_row_ = 0;
    return true;
  }
  return ++rescans_in_a_row_ <= kMaxRescansInARow;
}

bool PageScan::swap_in(const WebFilter& f) {
  MatchContext* const c = ctx_;
  const long unscanned = c->data_end - c->pending_start;
  const long carried = swapped_end_ != nullptr && swapped_end_ > c->pending_start
                           ? swapped_end_ - c->pending_start
                           : 0;
  if (!swap_in_replacement(c, &f)) return false;
  const long expansion = (c->data_end - c->pending_start) - unscanned;
  swapped_end_ = c->pending_start + expansion + carried;
  return true;
}

void PageScan::charge(size_t i, uint64_t steps_before) {
  PageFilterList::Entry& e = filters_[i];
  const auto spent = static_cast<int64_t>(ctx_->full_steps - steps_before);
  e.work_left += kStepsPerLimitByte * e.filter->limit - spent;
  if (e.work_left >= 0) [[likely]] return;
  if (e.bit >= 0) mask_ &= ~(uint64_t{1} << e.bit);
  e.bit = kStoppedFilter;
  const unsigned number = ctx_->input != nullptr ? ctx_->input->number : 0;
  add_log_linef("R** %u Filter stopped for the rest of the page, too slow: %s **", number,
                e.filter->name != nullptr ? e.filter->name.get() : "");
}

PageScan::Outcome PageScan::try_filter(size_t i, char** pos_io, size_t* first) {
  MatchContext* const c = ctx_;
  const WebFilter& f = *filters_[i].filter;
  const uint64_t steps_before = c->full_steps;
  char* end = attempt(f, filters_[i].bit >= 0, pos_io);
  charge(i, steps_before);
  if (c->output->failed()) return kFailed;
  if (end == nullptr) return kNoMatch;

  queue_pending(*pos_io);
  c->pending_start = end;
  if (c->watcher != nullptr) [[unlikely]] tell_watcher(f, *pos_io, end);
  log_filter_hit("VMatch ", c, f);
  if ((f.flags & FILTER_MULTI) != 0 && may_rescan(end)) {
    if (swap_in(f)) {
      *pos_io = c->pending_start;
      *first = i + 1;
      return kMatched;
    }
    add_log_line("RHTML Swap Buffer Overflow, using direct replace");
  }
  if (emit_replacement(c, f.replace_code) == kResultSendFailed) return kFailed;
  *pos_io = end;
  *first = 0;
  return kMatched;
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
    if (swapped_end_ != nullptr && pos >= swapped_end_) swapped_end_ = nullptr;
    uint64_t candidates = 0;
    if (first == 0 && !everywhere_) {
      pos = const_cast<char*>(table_->next_candidate(pos, c->data_end, mask_, &candidates));
      if (pos == c->data_end) continue;
    } else {
      candidates = table_->candidates(pos, c->data_end, mask_);
    }

    Outcome outcome = kNoMatch;
    if (first == 0 && in_bit_order_) {
      for (uint64_t todo = candidates & mask_; todo != 0 && outcome == kNoMatch; todo &= todo - 1) {
        outcome = try_filter(filter_of_bit_[__builtin_ctzll(todo)], &pos, &first);
      }
    } else {
      for (size_t i = first; i < count && outcome == kNoMatch; ++i) {
        const int bit = filters_[i].bit;
        if (bit >= 0 ? ((candidates >> bit) & 1) == 0
                     : bit == kStoppedFilter || !can_ever_match(*filters_[i].filter)) {
          continue;
        }
        outcome = try_filter(i, &pos, &first);
      }
    }
    if (outcome == kFailed) return 0;
    if (outcome == kNoMatch) {
      ++pos;
      first = 0;
    }
  }
  queue_pending(pos);
  return c->output->failed() ? 0 : 1;
}

}  // namespace

int scan_page(MatchContext* ctx, PageFilterList* filters, const ListScanTable* installed) {
  if (ctx->output != nullptr) return PageScan(ctx, filters, installed).run();
  PageOutput own(*ctx->client->socket, ctx->client->stream);
  ctx->output = &own;
  int result = PageScan(ctx, filters, installed).run();
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
