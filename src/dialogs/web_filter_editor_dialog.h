// "HTML Web Page Filter Editor" (template 109): edits one web page filter's name, URL pattern,
// bounds expression and byte limit, matching expression, replacement text and the "Allow for
// multiple matches " switch. Opened by the web filter list in one of three modes; OK builds the
// record (filter_editing.h) and closes, or names the field in error and stays open with what
// the user typed. "Try" opens the try window beside it, which follows the fields as they change.
// The skin tiles it with Face Two. User-interface thread only.
#pragma once

#include "filters/web_filter_list_model.h"

class QWidget;

namespace kw {

inline constexpr int kWebEditorTemplate = 109;
inline constexpr int kWebNameField = 1011;
inline constexpr int kWebUrlField = 1012;
inline constexpr int kWebBoundsField = 1014;
inline constexpr int kWebLimitField = 1015;
inline constexpr int kWebMatchField = 1017;
inline constexpr int kWebReplaceField = 1018;
inline constexpr int kWebMultiCheck = 1086;
inline constexpr int kWebTryButton = 1087;  // opens the try window (web_filter_try_dialog.h)

// Runs the editor modally over `owner` for the list item `node` (none in EDIT_NEW mode on an
// empty list). Returns the record it built (marked FILTER_EDITED), or none when it ended
// without one: Cancel, or OK on an existing filter that was not changed.
WebFilter* edit_web_filter(QWidget* owner, WebFilterListModel& list, LinkPat* node, int mode);

}  // namespace kw
