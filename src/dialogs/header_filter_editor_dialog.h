// "HTTP Header filter editor" (template 114): edits one header filter's header name, matching
// condition and replacement text; its directions stay as they are (a new filter has neither).
// Opened by the header filter list in one of three modes; OK builds the record
// (filter_editing.h) and closes, or names the field in error and stays open with what the user
// typed. The skin tiles it with Face Two. User-interface thread only.
#pragma once

#include "filters/header_filter_list_model.h"

class QWidget;

namespace kw {

inline constexpr int kHeaderEditorTemplate = 114;
inline constexpr int kHeaderNameField = 1022;
inline constexpr int kHeaderMatchField = 1023;
inline constexpr int kHeaderReplaceField = 1024;

// Runs the editor modally over `owner` for the list item `node` (none in EDIT_NEW mode on an
// empty list). Returns the record it built (marked HEADER_EDITED), or none when it ended
// without one: Cancel, or OK on an existing filter that was not changed.
HeaderFilter* edit_header_filter(QWidget* owner, HeaderFilterListModel& list, LinkPat* node,
                                 int mode);

}  // namespace kw
