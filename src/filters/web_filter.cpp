// Web filter records and LinkPat nodes; see web_filter.h.
#include "filters/web_filter.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "filters/pattern_compiler.h"
#include "report/frontend.h"

namespace kw {

WebFilter* web_filter_list = nullptr;

HeapText copy_heap_text(const char* text) {
  if (!text_given(text)) return nullptr;
  const size_t size = std::strlen(text) + 1;
  HeapText copy(new (std::nothrow) char[size]);
  if (copy) std::memcpy(copy.get(), text, size);
  return copy;
}

WebFilter* new_web_filter() { return new (std::nothrow) WebFilter{}; }

void free_web_filter(WebFilter* record) { delete record; }

int build_web_filter(WebFilter* record, uint16_t flags, const char* name, const char* url,
                     const char* match, const char* bounds, uint32_t limit, const char* replace) {
  ReplacementCode replace_code =
      text_given(replace) ? compile_replacement(replace) : ReplacementCode();
  PatternCode match_code = text_given(match) ? compile_pattern(match) : PatternCode();
  PatternCode url_code = text_given(url) ? compile_pattern(url) : PatternCode();
  MatchFunction bounds_matcher = nullptr;
  PatternCode bounds_code =
      text_given(bounds) ? compile_pattern(bounds, &bounds_matcher) : PatternCode();
  const bool url_failed = text_given(url) && !url_code;
  const bool match_failed = text_given(match) && !match_code;
  const bool bounds_failed = text_given(bounds) && !bounds_code;

  if (record != nullptr) {
    int failure = 0;
    if (url_failed) failure = -1;
    if (match_failed) failure = -2;
    if (bounds_failed) failure = -3;
    if (failure != 0) return failure;
    clear_web_filter(record);
  } else {
    record = new_web_filter();
    if (record == nullptr) return 0;
    WebFilter** link = &web_filter_list;
    WebFilter* last = nullptr;
    while (*link != nullptr) {
      last = *link;
      link = &last->next;
    }
    record->prev = last;
    *link = record;
  }

  // The record's fields are empty here, and so is the code of a text that was not given.
  record->name = copy_heap_text(name);
  record->url = copy_heap_text(url);
  record->url_code = std::move(url_code);
  record->match = copy_heap_text(match);
  record->match_code = std::move(match_code);
  record->bounds = copy_heap_text(bounds);
  record->bounds_code = std::move(bounds_code);
  if (record->bounds_code) record->bounds_matcher = bounds_matcher;
  record->replace = copy_heap_text(replace);
  record->replace_code = std::move(replace_code);
  record->limit = limit > kMaxFilterLimit ? kMaxFilterLimit : limit;
  record->flags = flags;
  if (url_failed || match_failed || bounds_failed) record->flags &= ~FILTER_ACTIVE;
  return 1;
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
  return 1;
}

LinkPat* new_linkpat(void* record, LinkPat* next) {
  LinkPat* node = new (std::nothrow) LinkPat{record, next};
  if (node == nullptr) {
    show_application_error("Not enough memory to create new LinkPat!");
    std::exit(1);
  }
  return node;
}

LinkPat* linkpat_predecessor(LinkPat* head, LinkPat* node) {
  for (LinkPat* p = head; p != nullptr; p = p->next) {
    if (p->next == node && node != nullptr) return p;
  }
  return nullptr;
}

int free_linkpat_list(LinkPat* head) {
  while (head != nullptr) {
    LinkPat* next = head->next;
    delete head;
    head = next;
  }
  return 1;
}

}  // namespace kw
