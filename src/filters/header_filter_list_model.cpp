// The header filter list's staged copy and toggles; see header_filter_list_model.h.
#include "filters/header_filter_list_model.h"

#include "base/settings.h"

namespace kw {
namespace {

constexpr uint32_t kDirections = HEADER_IN | HEADER_OUT;

const void* next_header(const void* r) { return static_cast<const HeaderFilter*>(r)->next; }

bool header_edited(const void* r) {
  return (static_cast<const HeaderFilter*>(r)->flags & HEADER_EDITED) != 0;
}

void free_header(void* r) {
  auto* f = static_cast<HeaderFilter*>(r);
  clear_header_filter(f);
  delete f;
}

void install_headers(LinkPat* working) {
  HeaderFilter** link = &header_filter_list;
  for (LinkPat* n = working; n != nullptr; n = n->next) {
    HeaderFilter* f = HeaderFilterListModel::filter(n);
    f->flags &= ~HEADER_EDITED;
    *link = f;
    link = &f->next;
  }
  *link = nullptr;
}

HitCount& header_hits(const void* r) { return static_cast<const HeaderFilter*>(r)->hits; }

const FilterListKind kHeaderKind{{header_filter_lock_op, header_filter_users_add},
                                 header_edited,
                                 free_header,
                                 install_headers,
                                 header_hits};

}  // namespace

HeaderFilterListModel::HeaderFilterListModel()
    : FilterListModel(kHeaderKind, header_filter_list, next_header) {}

void toggle_header_direction(HeaderFilter* f, uint32_t direction) {
  f->flags ^= direction & kDirections;
  settings_add_flags(Changed);
}

void toggle_header_directions(const std::vector<HeaderFilter*>& selected, uint32_t direction) {
  if (selected.empty()) return;
  const uint32_t pair = (selected.front()->flags ^ direction) & kDirections;
  for (HeaderFilter* f : selected) f->flags = (f->flags & ~kDirections) | pair;
  settings_add_flags(Changed);
}

}  // namespace kw
