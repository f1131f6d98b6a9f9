// The header filter list dialog's staged copy of header_filter_list (filter_list_model.h),
// installed under header_filter_lock while no connection applies the list, and the direction
// toggles, which change a record's HEADER_OUT or HEADER_IN at once: for a live record the
// running proxy sees it with the next message, and Cancel does not undo it. The header list has
// no cut buffer: "&Delete" puts nodes straight onto the discard list. User-interface thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "filters/filter_list_model.h"
#include "filters/header_filters.h"

namespace kw {

class HeaderFilterListModel : public FilterListModel {
 public:
  // One node per record of header_filter_list, in its order of application.
  HeaderFilterListModel();

  static HeaderFilter* filter(const LinkPat* node) {
    return static_cast<HeaderFilter*>(node->record);
  }
};

// Flips one direction (HEADER_OUT or HEADER_IN) of the filter; marks the configuration changed.
void toggle_header_direction(HeaderFilter* f, uint32_t direction);
// Every filter gets the first one's pair of directions with `direction` flipped, so a mixed
// selection becomes uniform; nothing happens without filters.
void toggle_header_directions(const std::vector<HeaderFilter*>& selected, uint32_t direction);

}  // namespace kw
