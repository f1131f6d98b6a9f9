// Header filters; see header_filters.h. Values are changed in place in the message's header
// list, whose nodes and texts come from std::malloc (as the header parser makes them).
#include "filters/header_filters.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/char_class.h"
#include "filters/emit_replacement.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"
#include "platform/designed_lock.h"

namespace kw {

HeaderFilter* header_filter_list = nullptr;

namespace {

DesignedLock header_filter_lock;
std::atomic<int32_t> header_filter_users{0};

// The header name of a Key: the text before its first ':', cut to kHeaderNameMax bytes.
void header_name(const char* key, char (&name)[kHeaderNameMax + 1]) {
  int n = 0;
  if (key != nullptr) {
    while (n < kHeaderNameMax && key[n] != '\0' && key[n] != ':') {
      name[n] = key[n];
      ++n;
    }
  }
  name[n] = '\0';
}

// The field's value becomes text: over the old value when it fits the field's storage, else
// in a fresh copy. The field keeps its old value (false) when there is no memory for the new
// one.
bool set_value(HeaderField* field, const char* text) {
  const size_t size = std::strlen(text) + 1;
  if (field->value != nullptr && size <= static_cast<size_t>(field->value_capacity)) {
    std::memcpy(field->value, text, size);
    return true;
  }
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy == nullptr) return false;
  std::memcpy(copy, text, size);
  std::free(field->value);
  field->value = copy;
  field->value_capacity = static_cast<int16_t>(size);
  return true;
}

// A new field at the end of the header list; nothing is added (false) without memory for it.
bool append_field(HttpMessage* msg, const char* name, const char* value) {
  auto* node = static_cast<HeaderField*>(std::calloc(1, sizeof(HeaderField)));
  char* name_copy = strdup(name);
  char* value_copy = strdup(value);
  if (node == nullptr || name_copy == nullptr || value_copy == nullptr) {
    std::free(node);
    std::free(name_copy);
    std::free(value_copy);
    return false;
  }
  node->name = name_copy;
  node->value = value_copy;
  node->value_capacity = static_cast<int16_t>(std::strlen(value) + 1);
  HeaderField** link = &msg->headers;
  while (*link != nullptr) link = &(*link)->next;
  *link = node;
  return true;
}

// One filter on one message; each field it changes, deletes or adds counts as a hit.
void apply_one(const HeaderFilter& filter, HttpMessage* msg, MatchContext* ctx) {
  char name[kHeaderNameMax + 1];
  header_name(filter.key.get(), name);
  // A filter without a name has no field to act on; adding a field of an empty name would
  // break the message.
  if (name[0] == '\0') return;
  HeaderField* field = find_header(msg, name);
  clear_variables(ctx);

  char value[kHeaderValueSize];
  if (field == nullptr) {
    if (filter.match || !filter.replace_code) return;
    emit_replacement(ctx, filter.replace_code, value, kHeaderValueSize);
    if (append_field(msg, name, value)) filter.hits.add();
    return;
  }
  if (filter.match && std::strcmp(filter.match.get(), "*") != 0) {
    set_string_window(ctx, field->value, field->value + std::strlen(field->value));
    if (match_pattern(ctx, filter.match_code) == nullptr) return;
  }
  if (filter.replace_code) {
    emit_replacement(ctx, filter.replace_code, value, kHeaderValueSize);
    if (set_value(field, value)) filter.hits.add();
  } else {
    remove_header(msg, name);
    filter.hits.add();
  }
}

}  // namespace

int apply_header_filters(HttpMessage* msg, HttpMessage* browser, uint32_t direction) {
  header_filter_users_add(1);
  MatchContext ctx{};
  ctx.client = browser;
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    if ((f->flags & direction) != 0) apply_one(*f, msg, &ctx);
  }
  header_filter_users_add(-1);
  return 1;
}

int build_header_filter(HeaderFilter* record, uint16_t flags, const char* key, const char* match,
                        const char* replace, int* limit_result) {
  PatternCode match_code = compile_filter_text(match, nullptr, limit_result);
  if (record != nullptr) {
    if (text_given(match) && !match_code) return kResultBadPattern;
    clear_header_filter(record);
  } else {
    record = new (std::nothrow) HeaderFilter{};
    if (record == nullptr) return 0;
    HeaderFilter** link = &header_filter_list;
    while (*link != nullptr) link = &(*link)->next;
    *link = record;
  }
  // The record's fields are empty here, and so is the code of a text that was not given.
  record->key = copy_heap_text(key);
  record->match = copy_heap_text(match);
  record->match_code = std::move(match_code);
  record->replace = copy_heap_text(replace);
  record->replace_code = text_given(replace) ? compile_replacement(replace) : ReplacementCode();
  record->flags = flags;
  return 1;
}

int clear_header_filter(HeaderFilter* record) {
  record->flags = 0;
  record->key.reset();
  record->match.reset();
  record->match_code.reset();
  record->replace.reset();
  record->replace_code.reset();
  return 1;
}

int free_header_filters() {
  HeaderFilter* f = header_filter_list;
  header_filter_list = nullptr;
  while (f != nullptr) {
    HeaderFilter* next = f->next;
    clear_header_filter(f);
    delete f;
    f = next;
  }
  return 1;
}

int header_filter_users_add(int delta) {
  if (delta > 0) {
    DesignedLock::Guard guard(header_filter_lock);
    return header_filter_users.fetch_add(delta, std::memory_order_acq_rel) + delta;
  }
  return header_filter_users.fetch_add(delta, std::memory_order_acq_rel) + delta;
}

int header_filter_lock_op(int code) { return header_filter_lock.op(code); }

}  // namespace kw
