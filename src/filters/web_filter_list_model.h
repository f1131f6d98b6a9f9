// The web filter list dialog's staged copy of web_filter_list (filter_list_model.h), installed
// under web_filter_lock while no page transfer uses the list, and the check box toggles, which
// change a record's FILTER_ACTIVE at once: for a live record the running proxy sees it with the
// next page, and Cancel does not undo it. User-interface thread only.
#pragma once

#include <vector>

#include "filters/filter_list_model.h"
#include "filters/web_filter.h"

namespace kw {

class WebFilterListModel : public FilterListModel {
 public:
  // One node per record of web_filter_list, in its order.
  WebFilterListModel();

  static WebFilter* filter(const LinkPat* node) { return node->web_filter(); }
};

// Switches the filter on or off, and marks the configuration changed.
void toggle_web_filter(WebFilter* f);
// Every filter gets the opposite of the first one's state; nothing happens without filters.
void toggle_web_filters(const std::vector<WebFilter*>& selected);

}  // namespace kw
