// What the window layer hands to a procedure besides commands: owner-draw requests (one
// control, list item or menu-bar item to paint, with its state) and the input of a subclassed
// control (keys, characters, mouse), plus the notification codes and virtual-key codes those
// carry. All of it is used on the user-interface thread only.
#pragma once

#include <QPainter>
#include <QRect>
#include <QString>
#include <cstdint>

class QPixmap;
class QWidget;

namespace kw {

class ControlHost;

// Notification codes of commands (the designed platform's values).
inline constexpr int kClicked = 0;      // buttons, check boxes, notifying statics; menus
inline constexpr int kAccelerator = 1;  // a command that came from the accelerator table
inline constexpr int kStaticDoubleClick = 1;
inline constexpr int kEditChange = 0x300;   // after the text changed (also when set by code)
inline constexpr int kEditUpdate = 0x400;   // the text is about to be shown changed
inline constexpr int kEditMaxText = 0x501;  // typing was refused at the text limit
inline constexpr int kListSelChange = 1;    // lists with kNotify, user changes only
inline constexpr int kListDoubleClick = 2;
inline constexpr int kComboSelChange = 1;  // user changes only
inline constexpr int kComboKillFocus = 4;
inline constexpr int kComboEditChange = 5;  // user typing only
inline constexpr int kComboEditUpdate = 6;

// Ids the dialog manager itself sends.
inline constexpr int kIdOk = 1;      // Enter outside a push button, without a default button
inline constexpr int kIdCancel = 2;  // Escape; also the close box, unless the procedure handles it

// Virtual-key codes.
inline constexpr int kVkBack = 0x08;
inline constexpr int kVkTab = 0x09;
inline constexpr int kVkReturn = 0x0D;
inline constexpr int kVkShift = 0x10;
inline constexpr int kVkControl = 0x11;
inline constexpr int kVkMenu = 0x12;  // Alt
inline constexpr int kVkEscape = 0x1B;
inline constexpr int kVkSpace = 0x20;
inline constexpr int kVkPageUp = 0x21;
inline constexpr int kVkPageDown = 0x22;
inline constexpr int kVkEnd = 0x23;
inline constexpr int kVkHome = 0x24;
inline constexpr int kVkLeft = 0x25;
inline constexpr int kVkUp = 0x26;
inline constexpr int kVkRight = 0x27;
inline constexpr int kVkDown = 0x28;
inline constexpr int kVkInsert = 0x2D;
inline constexpr int kVkDelete = 0x2E;
inline constexpr int kVkF1 = 0x70;
inline constexpr int kVkF3 = 0x72;
// Letters and digits are their upper-case ASCII codes ('A', '7').

enum KeyModifier : uint32_t { kKeyShift = 1, kKeyCtrl = 2, kKeyAlt = 4 };

// Bits of DrawItem::state.
enum DrawState : uint32_t {
  kStateSelected = 1u << 0,  // button held down, list item selected, menu item highlighted
  kStateFocus = 1u << 1,
  kStateDisabled = 1u << 2,
  kStateChecked = 1u << 3,  // push-like toggles that are on
  kStateGrayed = 1u << 4,   // menu items
};

enum class DrawKind : uint8_t {
  Button,          // owner-drawn push button or push-like toggle
  Static,          // owner-drawn static or frame
  ListItem,        // one item of an owner-drawn list
  ListBackground,  // the part of an owner-drawn list below its last item (all of it when empty)
  MenuItem,        // owner-drawn item of a menu bar
};

struct DrawItem {
  DrawItem(DrawKind k, int control_id) : kind(k), id(control_id) {}

  DrawKind kind;
  int id;         // control id, or menu command id
  int item = -1;  // list item index
  uint32_t state = 0;
  QRect rect;  // what to paint, in the painter's coordinates (the control's client area)
  QPainter* painter = nullptr;
  QWidget* widget = nullptr;  // the control (a list's viewport, the menu bar)
  QString text;               // window text, item text
  uintptr_t data = 0;         // list item data
  ControlHost* host = nullptr;
  int host_id = 0;  // template id of the dialog the control belongs to
  // Set by the host before painting: what a disabled button shows behind its text, this bitmap
  // tiled from the client origin of backdrop_anchor. None: the Background of its parent.
  const QPixmap* backdrop = nullptr;
  const QWidget* backdrop_anchor = nullptr;
};

// Input of a subclassed control, offered to its procedure before the control sees it.
struct InputEvent {
  enum Kind : uint8_t { KeyDown, Char, MouseMove, LeftDown, LeftUp, LeftDoubleClick, RightDown };
  explicit InputEvent(Kind k) : kind(k) {}

  Kind kind;
  int key = 0;      // KeyDown: virtual-key code
  char32_t ch = 0;  // Char: the character; with Ctrl a letter gives its control code (C = 3)
  uint32_t modifiers = 0;
  int x = 0, y = 0;  // mouse: in the control's client coordinates
};

}  // namespace kw
