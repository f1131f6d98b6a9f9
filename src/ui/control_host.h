// The owner of a set of controls, as the controls see it: where they send commands, owner-draw
// requests, the input of subclassed controls, and where they ask for their text colour and
// item sizes. A dialog is one (dialog.h); a plain window that uses the controls (the log
// window) can be another. User-interface thread only.
#pragma once

#include <QColor>
#include <QSize>

#include "ui/draw_item.h"
#include "ui/system_colours.h"

class QWidget;

namespace kw {

class ControlHost {
 public:
  virtual ~ControlHost() = default;
  virtual void control_command(int id, int code) = 0;
  virtual void control_draw(DrawItem& item) = 0;
  // Colour of the text of a static, check box or group box; drawn on a transparent background.
  virtual QColor control_text_colour(int id) = 0;
  // What a static or check box is filled with before its text; invalid: nothing (transparent).
  virtual QColor control_background(int id) { return QColor(); }
  // The colour mostly behind a control's text (the average of a texture it sits on), which
  // disabled text must stand out against.
  virtual QColor control_backdrop(int id) {
    const QColor background = control_background(id);
    return background.isValid() ? background : sys_colour(SysColour::ButtonFace);
  }
  // Input of a subclassed control; true when it is consumed (the control never sees it).
  virtual bool control_input(int id, const InputEvent& event) { return false; }
  // Owner-drawn list items: their fixed height; owner-drawn menu-bar items: their width.
  virtual QSize control_measure(int id) { return QSize(16, 16); }
  // The control with this id, or none; painters use it to anchor textures to a sibling.
  virtual QWidget* control_widget(int id) = 0;
  // The window whose client area is "the dialog" for anchoring.
  virtual QWidget* client_area() = 0;
  // The pointer moved onto another item of a menu bar: the command id of the item now under
  // it, 0 for a popup or none.
  virtual void control_highlight(int id) {}
  // Template id of the dialog, 0 for windows that have none.
  virtual int host_id() const { return 0; }
};

}  // namespace kw
