// Stand-in for the dialog the main window's "&Config" button opens while the preferences are
// not built yet: it tells the user plainly that the dialog is not available yet, so the button
// never silently does nothing. It goes when the preferences arrive.
// User-interface thread only.
#pragma once

class QWidget;

namespace kw {

void open_preferences(QWidget* owner);

}  // namespace kw
