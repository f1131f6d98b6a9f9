// Web page filter records, the program's list of them, and LinkPat list nodes.
//
// A WebFilter owns its texts and their compiled forms. web_filter_list is the program-wide,
// doubly linked list in configuration order (the priority order of the page scan). It is filled
// by the configuration reader, replaced as a whole by the list dialog and read by page
// transfers; the page scan's use count and lock guard it (not these functions). LinkPat nodes
// carry lists of records (web filters or header filters) for one page or one dialog; freeing
// nodes never frees records.
#pragma once

#include <cstdint>
#include <memory>

#include "base/result.h"
#include "filters/hit_count.h"
#include "filters/match_state.h"
#include "filters/pattern_code.h"
#include "filters/replacement_code.h"

namespace kw {

inline constexpr uint16_t FILTER_ACTIVE = 1;  // config key Active
inline constexpr uint16_t FILTER_EDITED = 2;  // made by the editor, not yet installed
inline constexpr uint16_t FILTER_MULTI = 4;   // config key Multi: replacement is scanned again

inline constexpr uint32_t kDefaultFilterLimit = 4096;
inline constexpr uint32_t kMaxFilterLimit = 32767;

// A text field: none, or an owned non-empty copy.
using HeapText = std::unique_ptr<char[]>;

// A text that is there and not empty: only such texts are kept and compiled.
inline bool text_given(const char* text) { return text != nullptr && text[0] != '\0'; }
// The code of a given text (none for no text or an empty one). A text that fails on one of the
// compiler's limits (or for want of memory) leaves that reason in *limit_result when it is given.
PatternCode compile_filter_text(const char* text, MatchFunction* choice, int* limit_result);
// A heap copy of a given text; none for no text, an empty one, or no memory.
HeapText copy_heap_text(const char* text);

struct WebFilter {
  uint16_t flags;
  HeapText name;
  HeapText url;
  PatternCode url_code;
  HeapText match;  // "<start>" and "<end>" make start and end filters
  PatternCode match_code;
  MatchFunction match_matcher;  // chosen from the Match code when it compiled
  HeapText bounds;
  PatternCode bounds_code;
  MatchFunction bounds_matcher;  // chosen from the Bounds level when it compiled
  uint32_t limit;                // bytes examined per position, at most kMaxFilterLimit
  HeapText replace;
  ReplacementCode replace_code;
  mutable HitCount hits;  // matches replaced, "<start>" and "<end>" texts sent
  WebFilter* prev;
  WebFilter* next;
};

// The first record of the program's web filters, or none.
extern WebFilter* web_filter_list;

// Marks web_filter_list as changed: records linked into it, relinked or freed with it.
// Whatever was derived from the list is derived again before its next use. The functions below
// that link or free the list call it themselves; records outside the list (an editor's copies)
// are built and freed without it, because transfers may be reading what was derived meanwhile.
// Flags may change without it.
void web_filter_list_changed();
// How many changes were marked so far.
uint64_t web_filter_list_change();

// A zeroed record outside any list, or none when there is no memory.
WebFilter* new_web_filter();
// Frees a record that is in no list.
void free_web_filter(WebFilter* record);

// Compiles Replace, Match, Url and Bounds and stores them with copies of the texts. An existing
// record is changed only when all compile: otherwise the result is kResultBadPattern (Url, -1),
// kResultBadMatch (Match, -2) or kResultBadBounds (Bounds, -3), the last failing of these in
// that order. With no record a new one is appended to web_filter_list (0 when it cannot be
// allocated); a text that does not compile is then kept without its code and the record is
// stored inactive. Limit is held at 32767. 1 on success. A text that failed on one of the
// compiler's limits leaves that reason (kResultPatternTooLong, ...) in *limit_result, for the
// caller to show.
int build_web_filter(WebFilter* record, uint16_t flags, const char* name, const char* url,
                     const char* match, const char* bounds, uint32_t limit, const char* replace,
                     int* limit_result = nullptr);

// Frees every text and compiled form and sets flags to 0; Limit and the bounds matcher stay.
int clear_web_filter(WebFilter* record);

// Frees every record of web_filter_list, last to first. 0 when it was empty already, else 1.
int free_web_filters();

// A list node carrying one record: a WebFilter or a HeaderFilter, depending on the list.
struct LinkPat {
  void* record;
  LinkPat* next;

  WebFilter* web_filter() const { return static_cast<WebFilter*>(record); }
};

// A new node, or none when there is no memory: the caller decides whether that is fatal.
LinkPat* new_linkpat(void* record, LinkPat* next);
// Frees the nodes, never the records. Returns 1.
int free_linkpat_list(LinkPat* head);

}  // namespace kw
