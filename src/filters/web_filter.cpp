// Web filter records and LinkPat nodes; see web_filter.h.
#include "filters/web_filter.h"

#include <atomic>
#include <cstring>
#include <new>

#include "filters/pattern_compiler.h"

namespace kw {
WebFilter* web_filter_list = nullptr;

namespace {
std::atomic<uint64_t> list_changes{0};
}  // namespace

void web_filter_list_changed() { list_changes.fetch_add(1, std::memory_order_relaxed); }

uint64_t web_filter_list_change() { return list_changes.load(std::memory_order_relaxed); }

HeapText copy_heap_text(const char* text) {
  if (!text_given(text)) return nullptr;
  const size_t size = std::strlen(text) + 1;
  HeapText copy(new (std::nothrow) char[size]);
  if (copy) std::memcpy(copy.get(), text, size);
  return copy;
}

PatternCode compile_filter_text(const char* text, MatchFunction* choice, int* limit_result) {
  if (!text_given(text)) return {};
  int result = kResultOk;
  PatternCode code = compile_pattern(text, choice, &result);
  if (limit_result != nullptr && result != kResultOk && result != kResultBadPattern) {
    *limit_result = result;
  }
  return code;
}

WebFilter* new_web_filter() { return new (std::nothrow) WebFilter{}; }

void free_web_filter(WebFilter* record) { delete record; }

int build_web_filter(WebFilter* record, uint16_t flags, const char* name, const char* url,
                     const char* match, const char* bounds, uint32_t limit, const char* replace,
                     int* limit_result) {
  ReplacementCode replace_code =
      text_given(replace) ? compile_replacement(replace) : ReplacementCode();
  MatchFunction match_matcher = nullptr;
  PatternCode match_code = compile_filter_text(match, &match_matcher, limit_result);
  PatternCode url_code = compile_filter_text(url, nullptr, limit_result);
  MatchFunction bounds_matcher = nullptr;
  PatternCode bounds_code = compile_filter_text(bounds, &bounds_matcher, limit_result);
  const bool url_failed = text_given(url) && !url_code;
  const bool match_failed = text_given(match) && !match_code;
  const bool bounds_failed = text_given(bounds) && !bounds_code;

  if (record != nullptr) {
    int failure = kResultOk;
    if (url_failed) failure = kResultBadPattern;
    if (match_failed) failure = kResultBadMatch;
    if (bounds_failed) failure = kResultBadBounds;
    if (failure != kResultOk) return failure;
    clear_web_filter(record);
  } else {
    record = new_web_filter();
    if (record == nullptr) return kResultFailed;
    WebFilter** link = &web_filter_list;
    WebFilter* last = nullptr;
    while (*link != nullptr) {
      last = *link;
      link = &last->next;
    }
    record->prev = last;
    *link = record;
    web_filter_list_changed();
  }

  // The record's fields are empty here, and so is the code of a text that was not given.
  record->name = copy_heap_text(name);
  record->url = copy_heap_text(url);
  record->url_code = std::move(url_code);
  record->match = copy_heap_text(match);
  record->match_code = std::move(match_code);
  if (record->match_code) record->match_matcher = match_matcher;
  record->bounds = copy_heap_text(bounds);
  record->bounds_code = std::move(bounds_code);
  if (record->bounds_code) record->bounds_matcher = bounds_matcher;
  record->replace = copy_heap_text(replace);
  record->replace_code = std::move(replace_code);
  record->limit = limit > kMaxFilterLimit ? kMaxFilterLimit : limit;
  record->flags = flags;
  if (url_failed || match_failed || bounds_failed) record->flags &= ~FILTER_ACTIVE;
  return kResultOk;
}

int clear_web_filter(WebFilter* record) {
  record->name.reset();
  record->url.reset();
  record->url_code.reset();
  record->match.reset();
  record->match_code.reset();
  record->bounds.reset();
  record->bounds_code.reset();
  record->replace.reset();
  record->replace_code.reset();
  record->flags = 0;
  return 1;
}

int free_web_filters() {
  if (web_filter_list == nullptr) return 0;
  WebFilter* last = web_filter_list;
  while (last->next != nullptr) last = last->next;
  while (last != nullptr) {
    WebFilter* prev = last->prev;
    free_web_filter(last);
    last = prev;
  }
  web_filter_list = nullptr;
  web_filter_list_changed();
  return 1;
}

LinkPat* new_linkpat(void* record, LinkPat* next) { return new (std::nothrow) LinkPat{record, next}; }

int free_linkpat_list(LinkPat* head) {
  while (head != nullptr) {
    LinkPat* next = head->next;
    delete head;
    head = next;
  }
  return 1;
}

}  // namespace kw
