// "Enter New Proxy server": one entry field for "host[:port]" (spaces are not taken, at most 80
// characters), OK and Cancel. User-interface thread only.
#pragma once

#include <string>

class QWidget;

namespace kw {

struct InputEvent;

inline constexpr int kNewProxyField = 1033;

// Runs the dialog; true with the typed text on OK, false on Cancel or the close box. F1 asks
// for the selector's help topic.
bool ask_new_proxy(QWidget* owner, std::string* text);

// The space filter of the proxy entry fields: a typed space is dropped.
bool is_typed_space(const InputEvent& event);

}  // namespace kw
