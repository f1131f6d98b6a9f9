// The web page filter stream: rewrites a reply body while it streams from the server to the
// browser. It selects the web filters whose URL pattern matches the request, emits the "<start>"
// filters' text before the body, scans the body replacing what the filters match, and emits the
// "<end>" filters' text after it.
//
// Each transfer runs on its connection thread with its own MatchContext, two swap buffers and
// an output queue, all local to filter_page_body. web_filter_list and its records are shared
// read-only while web_filter_users is positive: a transfer raises the count under
// web_filter_lock before it first reads the list and lowers it after its last use, exactly once
// for each raise. Whoever replaces or frees the list acquires the lock, reads the count with
// web_filter_users_add(0) and proceeds only while it is 0, still holding the lock.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "filters/match_context.h"
#include "filters/match_prefilter.h"
#include "filters/web_filter.h"
#include "http/http_message.h"

namespace kw {

// Each of the two swap buffers. A filter's window never passes the current buffer's last byte
// (its buffer end), so a match covers at most 32766 bytes.
inline constexpr int kSwapBufferSize = 32768;

// Points the context at its two swap buffers of kSwapBufferSize bytes, the first current and
// empty.
inline void set_swap_buffers(MatchContext* ctx, char* a, char* b) {
  ctx->buffer_a = a;
  ctx->buffer_b = b;
  ctx->current_buffer = a;
  ctx->pending_start = a;
  ctx->data_end = a;
  ctx->buffer_end = a + kSwapBufferSize - 1;
}

// Called once per filtered reply after the reply head went out; the server message's buffer
// may already hold the first bytes of the body, which come first. Sends the whole body,
// filtered, until the server closes. 1 when the body went through the scan or an unfiltered
// relay moved bytes, 0 when nothing could be relayed. A page whose filters cannot be set up
// is relayed unfiltered (no "<start>" or "<end>" text either), with an "R" line in the log that
// says why.
int filter_page_body(HttpMessage* server, HttpMessage* browser, const char* content_type);

// What the page scan derives from web_filter_list alone: the start table of every record that
// can ever match, in list order (record i has bit i, up to StartTable::kMaxFilters), and the
// bit of each record by its place in the list.
struct ListScanTable {
  StartTable table;
  std::vector<const WebFilter*> records;
  // Every record of the list in order, with its bit in the table or -1.
  std::vector<std::pair<const WebFilter*, int>> places;

  // Builds the table for the list from `first` on.
  void build(const WebFilter* first);
  // The bit of a record in the table, or -1 when the table does not know it.
  int bit_of(const WebFilter* record) const;
  // The same for a record that should be the place'th of the list (0 first): read at once when
  // it is, searched for otherwise.
  int bit_at(size_t place, const WebFilter* record) const {
    if (place < places.size() && places[place].first == record) return places[place].second;
    return bit_of(record);
  }
};

// The filters one page is scanned with, in list order, each with its bit in the start table of
// `table` (or none: then the scan finds the bits itself). Holds kInline of them without the
// heap, which is room for every ordinary list; only a longer one needs an allocation.
class PageFilterList {
 public:
  struct Entry {
    const WebFilter* filter;
    int bit;
    // The steps of match_full the filter may still take on this page (the page scan's).
    int64_t work_left = 0;
  };
  static constexpr size_t kInline = StartTable::kMaxFilters;

  PageFilterList() = default;
  PageFilterList(const PageFilterList&) = delete;
  PageFilterList& operator=(const PageFilterList&) = delete;

  // Makes room for n filters in all, keeping those added. False when there is no memory for them.
  bool reserve(size_t n);
  // Adds a filter; there must be room for it.
  void add(const WebFilter* f, int bit = -1) { entries_[size_++] = Entry{f, bit}; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Entry& operator[](size_t i) { return entries_[i]; }
  const Entry& operator[](size_t i) const { return entries_[i]; }

  const ListScanTable* table = nullptr;  // whose bits the entries carry, or none

 private:
  struct Release {
    void operator()(Entry* p) const { ::operator delete(p); }
  };
  Entry inline_[kInline];  // left unset: only [0, size_) is ever read
  std::unique_ptr<Entry, Release> heap_;
  Entry* entries_ = inline_;
  size_t capacity_ = kInline;
  size_t size_ = 0;
};

// Puts the filters from `first` on that apply to the request's URL into *page (it stays empty
// when none applies) and emits the "<start>" filters' text on the way when the body is text.
// With `installed`, the table built from the list `first` heads, each entry carries its bit.
// kResultOk, or kResultNoMemory when the list cannot be held: then nothing is emitted, the page
// stays empty and is relayed unfiltered.
int run_start_filters(WebFilter* first, MatchContext* ctx, int is_text, PageFilterList* page,
                      const ListScanTable* installed = nullptr);
// Whether the filter applies to the request of the context's client: its URL pattern matches
// the URL from the host on. Variables it stores stay in the context.
bool url_matches(MatchContext* ctx, const WebFilter& f);
// Emits the "<end>" filters' text for a text body. 1, or 0 when the body is not text or a send
// to the browser failed.
int run_end_filters(WebFilter* first, MatchContext* ctx, int is_text);

// The table for web_filter_list as it stands, built again only when the list changed since
// (web_filter_list_changed). Called by a transfer right after it raised web_filter_users: the
// list cannot change while the count is positive, so the table it returns stays valid until the
// transfer lowers the count again. Whoever installs a list calls it too, while no transfer can
// read the list, so that pages find the table made.
const ListScanTable* installed_scan_table();

// Scans the body through the page's filters until the server closes. 1 when the input ended,
// 0 when a send to the browser failed. Bytes go into ctx->output when there is one (the caller
// flushes it), else a queue of the scan's own that is flushed before it returns. `installed` is
// the list's table; filters it does not know (or none) make the page a table of its own. The
// entries' bits are set to those of the table the scan used.
int scan_page(MatchContext* ctx, PageFilterList* filters,
              const ListScanTable* installed = nullptr);
// Puts the expansion of record's replacement, followed by the bytes not scanned yet (pending
// start, the match end, up to data end), into the other swap buffer and makes it current, so
// that the replacement is scanned again. 1 when done (or when there is no replacement code, the
// match is simply dropped), 0 when the two would not fit the buffer.
int swap_in_replacement(MatchContext* ctx, const WebFilter* record);

// A filter hit: counted in the filter's hits, and a line of the "HTML filters" log category
// when that category is on and the context has no watcher: `lead`, the connection number, ": "
// and the filter's name.
void log_filter_hit(const char* lead, const MatchContext* ctx, const WebFilter& f);

// What a scan tells its context's watcher about each match: the filter, where the match lies in
// the current buffer (pending start is its end; everything before its start is in the output
// already) and whether it began in replacement bytes that a FILTER_MULTI filter put back.
class ScanWatcher {
 public:
  virtual void matched(MatchContext* ctx, const WebFilter& f, const char* start, const char* end,
                       bool rescanned) = 0;

 protected:
  ~ScanWatcher() = default;
};

// Adds delta to web_filter_users under web_filter_lock and returns the new count (0 reads it).
int web_filter_users_add(int delta);
// The designed lock operation of web_filter_lock: 1 create, 2 acquire, 3 release, 4 destroy.
int web_filter_lock_op(int code);

}  // namespace kw
