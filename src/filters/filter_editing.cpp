// The editors' builds; see filter_editing.h.
#include "filters/filter_editing.h"

#include <new>

namespace kw {
namespace {

const char* text_or_empty(const HeapText& text) { return text != nullptr ? text.get() : ""; }

// The record a build goes into: the source itself when the editor made it (it is rebuilt in
// place), else a new zeroed one.
template <typename Record>
Record* build_target(Record* source, int mode, uint32_t edited) {
  if (mode == EDIT_EXISTING && source != nullptr && (source->flags & edited) != 0) return source;
  return new (std::nothrow) Record{};
}

// After a build: a new record that failed is freed; the result is marked edited.
template <typename Record>
int finish_build(int built, Record* source, Record* target, uint32_t edited, Record** result,
                 int (*clear)(Record*)) {
  if (built != 1) {
    if (target != source) {
      clear(target);
      delete target;
    }
    return built;
  }
  target->flags |= edited;
  *result = target;
  return 1;
}

}  // namespace

const char* skip_leading_blanks(const std::string& text) {
  const char* p = text.c_str();
  while (*p != '\0' && static_cast<signed char>(*p) <= 32) ++p;
  return *p != '\0' ? p : nullptr;
}

const char* unless_blank(const std::string& text) {
  return skip_leading_blanks(text) != nullptr ? text.c_str() : nullptr;
}

WebFilterFields web_filter_fields(const WebFilter* source) {
  WebFilterFields fields;
  if (source == nullptr) {
    fields.name = kNewWebFilterName;
    fields.limit = kNewWebFilterLimit;
    return fields;
  }
  fields.name = text_or_empty(source->name);
  fields.url = text_or_empty(source->url);
  fields.bounds = text_or_empty(source->bounds);
  fields.match = text_or_empty(source->match);
  fields.replace = text_or_empty(source->replace);
  fields.limit = source->limit;
  fields.multi = (source->flags & FILTER_MULTI) != 0;
  return fields;
}

int build_web_filter_from_fields(WebFilter* target, uint16_t flags, const WebFilterFields& fields,
                                 int* limit_result) {
  const char* match = unless_blank(fields.match);
  if (match == nullptr) return kMissingMatch;
  return build_web_filter(target, flags, skip_leading_blanks(fields.name),
                          skip_leading_blanks(fields.url), match, skip_leading_blanks(fields.bounds),
                          fields.limit, unless_blank(fields.replace), limit_result);
}

int build_edited_web_filter(WebFilterListModel& list, LinkPat* node, int mode,
                            const WebFilterFields& fields, WebFilter** result) {
  if (unless_blank(fields.match) == nullptr) return kMissingMatch;
  WebFilter* source = mode != EDIT_NEW && node != nullptr ? node->web_filter() : nullptr;
  uint16_t flags = source != nullptr ? source->flags : 0;
  flags = fields.multi ? (flags | FILTER_MULTI) : (flags & ~FILTER_MULTI);

  WebFilter* target = build_target(source, mode, FILTER_EDITED);
  if (target == nullptr) return 0;
  const int built = build_web_filter_from_fields(target, flags, fields);
  const bool replaces_live = mode == EDIT_EXISTING && node != nullptr && target != source;
  const int outcome = finish_build(built, source, target, FILTER_EDITED, result, clear_web_filter);
  if (outcome == 1 && replaces_live && !list.replace_live(node, target)) {
    *result = nullptr;
    return 0;
  }
  return outcome;
}

HeaderFilterFields header_filter_fields(const HeaderFilter* source) {
  HeaderFilterFields fields;
  if (source == nullptr) {
    fields.key = kNewHeaderFilterKey;
    return fields;
  }
  fields.key = text_or_empty(source->key);
  fields.match = text_or_empty(source->match);
  fields.replace = text_or_empty(source->replace);
  return fields;
}

int build_edited_header_filter(HeaderFilterListModel& list, LinkPat* node, int mode,
                               const HeaderFilterFields& fields, HeaderFilter** result) {
  const char* key = skip_leading_blanks(fields.key);
  if (key == nullptr) return kMissingHeader;
  HeaderFilter* source =
      mode != EDIT_NEW && node != nullptr ? HeaderFilterListModel::filter(node) : nullptr;
  const uint16_t flags = source != nullptr ? static_cast<uint16_t>(source->flags) : 0;

  HeaderFilter* target = build_target(source, mode, HEADER_EDITED);
  if (target == nullptr) return 0;
  const int built = build_header_filter(target, flags, key, skip_leading_blanks(fields.match),
                                        skip_leading_blanks(fields.replace));
  const bool replaces_live = mode == EDIT_EXISTING && node != nullptr && target != source;
  const int outcome =
      finish_build(built, source, target, HEADER_EDITED, result, clear_header_filter);
  if (outcome == 1 && replaces_live && !list.replace_live(node, target)) {
    *result = nullptr;
    return 0;
  }
  return outcome;
}

}  // namespace kw
