// " HTML Web Page Filters" (template 103): every web page filter in its order of application,
// with a check box that switches it on and off at once, and Edit, New, Dupe, Cut and Paste on
// a staged copy of the list that "&Apply" and "&OK" install (web_filter_list_model.h). "&OK"
// has id 1044, so Enter (command 1) edits the caret item here. Cut and paste is how filters
// move; a cut that is never pasted deletes its filters at the next install. User-interface
// thread only.
#pragma once

class QWidget;

namespace kw {

inline constexpr int kWebListTemplate = 103;
inline constexpr int kWebPasteButton = 1014;
inline constexpr int kWebListOk = 1044;
inline constexpr int kWebListApply = 3;

// Runs the dialog modally over the main window; returns when it has closed.
void open_web_filter_list(QWidget* owner);

}  // namespace kw
