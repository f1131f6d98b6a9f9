// "External Proxy Selector": the remote proxy list in a sorted combo box whose entry field
// edits, adds and (emptied) deletes entries, "&Add" for a new one, "&OK" to keep the changes
// and make the selected entry current, "&Cancel" to undo them, and "&Test" to test the
// selected entry (the button reads "Abort" while the test runs, and nothing else can be
// changed or closed). The status line under the buttons shows what happened, in colour on a
// blue-to-red gradient. User-interface thread only.
#pragma once

class QWidget;

namespace kw {

inline constexpr int kProxySelectorTemplate = 116;
inline constexpr int kProxyOkButton = 1501;
inline constexpr int kProxyCancelButton = 1502;
inline constexpr int kProxyAddButton = 1503;
inline constexpr int kProxyCombo = 1504;
inline constexpr int kProxyStatusLine = 1505;
inline constexpr int kProxyTestButton = 1506;
inline constexpr int kProxyCaption = 1059;
inline constexpr int kProxySelectorHelpTopic = 81;

// Runs the selector modally over owner; returns 1. F1 asks for kProxySelectorHelpTopic.
int open_proxy_selector(QWidget* owner);

}  // namespace kw
