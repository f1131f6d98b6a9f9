// Drives dialogs in tests as their user would, by control id: each call delivers real input
// events (clicks, keys, the close box) to the controls, so what a test sees is what the
// dialog's procedure does with the user's input. Also a way to act on a modal dialog while it
// runs, and to photograph windows. User-interface thread only.
#pragma once

#include <QImage>
#include <functional>
#include <string_view>

#include "ui/dialog.h"

namespace kw::test {

// A left click in the middle of the control (buttons, check boxes, notifying statics).
// Disabled controls ignore it, as they ignore the user.
void press(Dialog& d, int id);
// Gives the control the focus and types the text, one key per character.
void type_into(Dialog& d, int id, std::string_view text);
// A key press and release on a control (0: on whatever has the focus).
void key(Dialog& d, int id, int virtual_key, uint32_t modifiers = 0);
void send_escape(Dialog& d);
void send_enter(Dialog& d);
void send_help(Dialog& d);
// The caption's close box.
void close_box(Dialog& d);
// A click on a list item (with kKeyCtrl or kKeyShift to extend the selection).
void click_item(Dialog& d, int id, int index, uint32_t modifiers = 0);
void double_click_item(Dialog& d, int id, int index);
// The user picks an item from a combo box's list.
void pick_combo_item(Dialog& d, int id, int index);
// Chooses a menu command as the user would; false when it is greyed or missing.
bool choose_menu(Dialog& d, int id);
// Moves the pointer over the menu-bar item `id` (0: off the bar).
void hover_menu(Dialog& d, int id);

// Makes the window the active one, as a click on it would; waits for it (up to 5 s).
void activate(QWidget* window);

// Result a modal dialog ends with when a test's action left it running: the test fails
// instead of hanging in the dialog's loop.
inline constexpr int kLeftRunning = -9999;

// Runs `action` with the next dialog that is shown (a modal one from inside its run), once,
// after making it the active window. The action may itself wait for a dialog it opens.
void when_shown(std::function<void(Dialog&)> action);

// The widget's picture, painted now.
QImage grab(QWidget* widget);

}  // namespace kw::test
