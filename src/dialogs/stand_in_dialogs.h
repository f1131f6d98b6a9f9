// Stand-ins for the dialogs the main window's buttons open that are not built yet: the web
// filter list ("&Web page"), the header filter list ("&Headers") and the remote
// proxy selector ("&Proxy"). Each tells the user plainly that the dialog is not
// available yet, so a button never silently does nothing. Each goes when its dialog arrives.
// User-interface thread only.
#pragma once

class QWidget;

namespace kw {

void open_web_filter_list(QWidget* owner);
void open_header_filter_list(QWidget* owner);
void open_proxy_selector(QWidget* owner);

}  // namespace kw
