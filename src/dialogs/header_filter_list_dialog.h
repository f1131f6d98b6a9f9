// "HTTP Header Filters" (template 110): the header filters listed alphabetically by header
// name, while the staged list (header_filter_list_model.h) keeps their order of application;
// two check boxes per filter, "Out" (requests) and "In" (replies), switch its directions at
// once. Edit, New and Dupe go through the editor; Delete removes filters for good at the next
// install. There is no "&Apply": "&OK" has id 1, so Enter installs and closes. User-interface
// thread only.
#pragma once

class QWidget;

namespace kw {

inline constexpr int kHeaderListTemplate = 110;

// Runs the dialog modally over the main window; returns when it has closed.
void open_header_filter_list(QWidget* owner);

}  // namespace kw
