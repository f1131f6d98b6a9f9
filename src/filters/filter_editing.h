// What the two filter editors do with their fields once the user presses OK: the blank
// handling, the flags, and building the result record into the source record, a new record
// that replaces a live one, or a new record for New and Dupe. The editors never touch the live
// lists: a result carries FILTER_EDITED or HEADER_EDITED, and the list dialog's staged copy
// (filter_list_model.h) installs it later. A failed build leaves the source record as it was
// and frees what it made. User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "filters/header_filter_list_model.h"
#include "filters/web_filter_list_model.h"

namespace kw {

// The editors' modes.
inline constexpr int EDIT_EXISTING = 1;
inline constexpr int EDIT_NEW = 2;
inline constexpr int EDIT_DUPLICATE = 3;

// Results of the builds besides build_web_filter's and build_header_filter's (1, 0, -1, -2, -3).
inline constexpr int kMissingMatch = -10;   // web filters: no matching expression
inline constexpr int kMissingHeader = -11;  // header filters: no header name

// A field's text as it is passed to the build: leading bytes of signed value 32 or less
// (control characters, spaces and bytes 128 to 255) dropped; none when nothing remains.
const char* skip_leading_blanks(const std::string& text);
// A text passed whole, leading blanks included, when it holds anything else; none otherwise.
const char* unless_blank(const std::string& text);

inline constexpr char kNewWebFilterName[] = "New HTML filter";
inline constexpr unsigned kNewWebFilterLimit = 256;
inline constexpr char kNewHeaderFilterKey[] = "New-HTTP-header";

// The web filter editor's fields (the Byte Limit as the number it reads).
struct WebFilterFields {
  std::string name, url, bounds, match, replace;
  unsigned limit = 0;
  bool multi = false;
};

// What the fields show when the editor opens: the source record's texts, or the new
// filter's defaults when there is no source.
WebFilterFields web_filter_fields(const WebFilter* source);

// Builds the fields into `target` (build_web_filter) with the editor's blank handling and
// `flags`; kMissingMatch without a matching expression.
int build_web_filter_from_fields(WebFilter* target, uint16_t flags, const WebFilterFields& fields,
                                 int* limit_result = nullptr);

// Builds the result of the web filter editor in `mode` for the list item `node` (none in New
// mode on an empty list); on 1 *result is the record. In EDIT_EXISTING mode an edited source is
// rebuilt in place and a live one replaced by a new record that the list's install frees.
int build_edited_web_filter(WebFilterListModel& list, LinkPat* node, int mode,
                            const WebFilterFields& fields, WebFilter** result);

struct HeaderFilterFields {
  std::string key, match, replace;
};

HeaderFilterFields header_filter_fields(const HeaderFilter* source);

// The header filter editor's build, as build_edited_web_filter. The editor keeps the source's
// directions; a new filter has neither.
int build_edited_header_filter(HeaderFilterListModel& list, LinkPat* node, int mode,
                               const HeaderFilterFields& fields, HeaderFilter** result);

}  // namespace kw
