// The web filter list's staged copy and toggles; see web_filter_list_model.h.
#include "filters/web_filter_list_model.h"

#include "base/settings.h"
#include "filters/page_filter.h"

namespace kw {
namespace {

const void* next_web(const void* r) { return static_cast<const WebFilter*>(r)->next; }

bool web_edited(const void* r) {
  return (static_cast<const WebFilter*>(r)->flags & FILTER_EDITED) != 0;
}

void free_web(void* r) {
  auto* f = static_cast<WebFilter*>(r);
  clear_web_filter(f);
  free_web_filter(f);
}

// Relinks the records in working order, both ways.
void install_web(LinkPat* working) {
  WebFilter* prev = nullptr;
  web_filter_list = nullptr;
  for (LinkPat* n = working; n != nullptr; n = n->next) {
    WebFilter* f = n->web_filter();
    f->flags &= ~FILTER_EDITED;
    f->prev = prev;
    f->next = nullptr;
    (prev != nullptr ? prev->next : web_filter_list) = f;
    prev = f;
  }
  web_filter_list_changed();
  // The page scan's table for the new list, made now (the list lock is held and no transfer
  // reads the list) rather than by the first page.
  installed_scan_table();
}

HitCount& web_hits(const void* r) { return static_cast<const WebFilter*>(r)->hits; }

const FilterListKind kWebKind{
    {web_filter_lock_op, web_filter_users_add}, web_edited, free_web, install_web, web_hits};

}  // namespace

WebFilterListModel::WebFilterListModel() : FilterListModel(kWebKind, web_filter_list, next_web) {}

void toggle_web_filter(WebFilter* f) {
  f->flags ^= FILTER_ACTIVE;
  settings_add_flags(Changed);
}

void toggle_web_filters(const std::vector<WebFilter*>& selected) {
  if (selected.empty()) return;
  const bool on = (selected.front()->flags & FILTER_ACTIVE) == 0;
  for (WebFilter* f : selected) {
    f->flags = on ? (f->flags | FILTER_ACTIVE) : (f->flags & ~FILTER_ACTIVE);
  }
  settings_add_flags(Changed);
}

}  // namespace kw
