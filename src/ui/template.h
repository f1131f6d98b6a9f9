// Dialog templates: the rows of a dialog's control table (id, kind, text, place in dialog units,
// style, text limit) as plain constant data, plus menu and accelerator tables. A template says
// what a dialog holds; a DialogProc (dialog.h) says what it does. Templates are immutable tables
// defined where their dialog is implemented; nothing here needs Qt.
#pragma once

#include <cstdint>
#include <span>

namespace kw {

// Id of controls that nobody addresses (group boxes, labels).
inline constexpr int kNoId = -1;

enum class ControlKind : uint8_t {
  Button,      // push button
  CheckBox,    // auto check box: a click toggles it, then notifies
  PushToggle,  // push-like auto check box
  GroupBox,    // etched frame with an optional caption at the top
  Static,      // text; wraps at word boundaries unless kCentreVertically
  Frame,       // empty static: kSunken, kEtched or kClientEdge says how it looks
  EtchedLine,  // horizontal etched line along the top of its place
  Icon,        // the icon `resource`, at its top-left corner
  Picture,     // the bitmap `resource`, at its top-left corner
  Edit,        // single-line, or multi-line with kMultiLine
  ListBox,
  ComboBox,  // drop-down combo box with an entry field
};

// Style bits of a control. Each applies to the kinds named; others ignore it.
enum ControlStyle : uint32_t {
  kOwnerDraw = 1u << 0,      // buttons, statics, list items: painted by the procedure
  kDefaultButton = 1u << 1,  // Enter outside a push button sends this button's id
  kStartsDisabled = 1u << 2,
  kCentred = 1u << 3,           // statics: text centred
  kRightAligned = 1u << 4,      // statics: text right-aligned
  kCentreVertically = 1u << 5,  // statics: one line, vertically centred
  kSunken = 1u << 6,            // statics: 1-pixel sunken edge around the client area
  kEtched = 1u << 7,            // frames: etched rectangle
  kClientEdge = 1u << 8,        // statics: 2-pixel sunken edge around the client area
  kNotify = 1u << 9,            // statics: clicks notify; lists: selection and double clicks
  kMultiLine = 1u << 10,        // edits
  kDigitsOnly = 1u << 11,       // edits: typed characters other than digits are refused
  kAutoScroll = 1u << 12,       // edits: the text scrolls instead of stopping at the edge
  kVScroll = 1u << 13,          // multi-line edits, lists, combo drop-down lists
  kWantReturn = 1u << 14,       // multi-line edits: Enter makes a new line
  kSorted = 1u << 15,           // lists and combo boxes: items are kept in text order
  kHasStrings = 1u << 16,       // owner-drawn lists: items keep a text
  kExtendedSel = 1u << 17,      // lists: shift and ctrl extend the selection
  kBorder = 1u << 18,           // lists: a thin frame
  kReadOnly = 1u << 19,         // multi-line edits: shown and selectable, not changed by the user
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;         // window text; empty for none
  int x, y, width, height;  // dialog units, relative to the client area
  uint32_t style = 0;
  int limit = 0;     // edits and combo entry fields: at most this many characters; 0 = no limit
  int resource = 0;  // icons and pictures: the resource id
};

enum MenuItemFlag : uint32_t {
  kMenuPopup = 1u << 0,  // opens `items`
  kMenuSeparator = 1u << 1,
  kMenuOwnerDraw = 1u << 2,  // items of the bar itself: measured and painted by the procedure
  kMenuGrayed = 1u << 3,
  kMenuChecked = 1u << 4,
};

struct MenuItemTemplate {
  const char* text;  // "&Load Config File\tCtrl-L": the part after a tab is shown right-aligned
  int id;            // command id; 0 for popups and separators
  uint32_t flags = 0;
  std::span<const MenuItemTemplate> items = {};
};

struct MenuTemplate {
  int id;
  std::span<const MenuItemTemplate> items;  // the bar
};

// Keys are virtual-key codes (draw_item.h); modifiers are kKeyCtrl, kKeyShift, kKeyAlt.
struct Accelerator {
  int key;
  uint32_t modifiers;
  int id;
};

struct AcceleratorTable {
  int id;
  std::span<const Accelerator> keys;
};

enum DialogStyle : uint32_t {
  kDialogCentred = 1u << 0,  // centred on the screen instead of over the owner
  kDialogMinimizeBox = 1u << 1,
  kDialogContextHelp = 1u << 2,  // the caption's help button
  kDialogChild = 1u << 3,        // a child strip embedded in another window, no caption
};

struct DialogTemplate {
  int id;
  const char* title;
  int width, height;  // client area in dialog units
  uint32_t style;
  std::span<const ControlTemplate> controls;  // in creation order; later ones lie on top
  const MenuTemplate* menu = nullptr;
};

}  // namespace kw
