// Header filters: rewrite the header fields of requests (outgoing) and replies (incoming) as
// they pass. A filter names one field; it changes the first field of that name, deletes it, or
// adds it when it is missing.
//
// header_filter_list is the program-wide list in configuration order, which is the order of
// application. The configuration reader fills it (build_header_filter with no record), the
// header filter editor replaces it. Connection threads call apply_header_filters concurrently,
// each on its own message, and share the records read-only while header_filter_users is
// positive: a thread raises the count under header_filter_lock before it reads the list, and
// whoever replaces the list holds the lock and proceeds only while the count is 0.
#pragma once

#include <cstdint>

#include "filters/hit_count.h"
#include "filters/pattern_code.h"
#include "filters/replacement_code.h"
#include "filters/web_filter.h"
#include "http/http_message.h"

namespace kw {

// Bits of a header filter's flags.
inline constexpr uint32_t HEADER_IN = 1;      // replies
inline constexpr uint32_t HEADER_OUT = 2;     // requests
inline constexpr uint32_t HEADER_EDITED = 4;  // made by the editor, not yet installed

// Header names are cut to this many bytes, expansions to kHeaderValueSize - 1.
inline constexpr int kHeaderNameMax = 131;
inline constexpr int kHeaderValueSize = 2048;

struct HeaderFilter {
  uint32_t flags;
  HeapText key;  // the field's name, optionally followed by ":" and a label
  HeapText match;
  PatternCode match_code;  // none when Match did not compile: the filter never matches
  HeapText replace;
  ReplacementCode replace_code;
  mutable HitCount hits;  // fields changed, deleted or added
  HeaderFilter* next;
};

// The first record of the program's header filters, or none.
extern HeaderFilter* header_filter_list;

// Applies the filters of `direction` (HEADER_OUT for a request, HEADER_IN for a reply) to msg's
// header list in place; `browser` supplies the request line that replacements quote. Returns 1.
int apply_header_filters(HttpMessage* msg, HttpMessage* browser, uint32_t direction);

// Compiles Match and stores copies of the non-empty texts. An existing record is changed only
// when a given Match compiles (otherwise -1, record untouched); with no record a new one is
// appended to header_filter_list (0 when it cannot be allocated), keeping a Match that did not
// compile without its code. 1 on success.
// A Match that failed on one of the compiler's limits leaves that reason in *limit_result.
int build_header_filter(HeaderFilter* record, uint16_t flags, const char* key, const char* match,
                        const char* replace, int* limit_result = nullptr);
// Flags 0, every text and compiled form freed. Returns 1.
int clear_header_filter(HeaderFilter* record);
// Frees every record of header_filter_list from the first and empties it. Returns 1.
int free_header_filters();

// Adds delta to header_filter_users and returns the new count (0 reads it). Every change is
// atomic; a raise happens under header_filter_lock, so it waits while a replacement runs.
int header_filter_users_add(int delta);
// The designed lock operation of header_filter_lock: 1 create, 2 acquire, 3 release, 4 destroy.
int header_filter_lock_op(int code);

}  // namespace kw
