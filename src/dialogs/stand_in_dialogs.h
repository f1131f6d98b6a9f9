// Stand-in for the dialog the main window's "&Proxy" button opens while it is not built
// yet: the remote proxy selector. It tells the user plainly that the dialog is not
// available yet, so a button never silently does nothing. It goes when the dialog arrives.
// User-interface thread only.
#pragma once

class QWidget;

namespace kw {

void open_proxy_selector(QWidget* owner);

}  // namespace kw
