// Dialogs: a template (template.h) made into a window of controls, driven by a DialogProc that
// holds the dialog's state and reacts to ids. The Dialog offers the designed platform's calls
// on controls by id (texts, numbers, enabling, check marks, focus, limits, the user-modified
// mark, owner drawing, subclassing) and runs modally (run_modal returns what end() was given)
// or modelessly. The dialog manager's keys are kept: Escape sends command 2 unless control 2
// exists and is disabled; Enter outside a push button sends the default button's id (1 when
// none is marked); F1 asks the procedure for help; the close box asks the procedure, which by
// default treats it as Escape.
//
// The procedure is owned by the caller and must outlive the dialog's run. Everything here runs
// on the user-interface thread.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/combo_box.h"
#include "ui/control_host.h"
#include "ui/controls.h"
#include "ui/dialog_units.h"
#include "ui/list_box.h"
#include "ui/menu_bar.h"
#include "ui/template.h"

namespace kw {

class Dialog;

class DialogProc {
 public:
  virtual ~DialogProc() = default;
  // Before the dialog is shown; the first control that takes the focus has it already.
  virtual void on_init(Dialog& d) {}
  virtual void on_command(Dialog& d, int id, int code) {}
  // The close box (and the system menu's Close). The default does what Escape does.
  virtual void on_close(Dialog& d);
  virtual void on_help(Dialog& d) {}
  virtual void on_draw_item(Dialog& d, DrawItem& item) {}
  // The item of the menu bar under the pointer changed: its command id, 0 for a popup or none.
  virtual void on_menu_highlight(Dialog& d, int id) {}
  // Owner-drawn list items: the height; owner-drawn menu-bar items: the width.
  virtual QSize on_measure_item(Dialog& d, int id) { return QSize(16, 16); }
  // Input of a subclassed control; true consumes it.
  virtual bool on_input(Dialog& d, int id, const InputEvent& event) { return false; }
  // Paints the client area's background; the layer has filled it with the button-face colour.
  virtual void on_paint_background(Dialog& d, QPainter& painter) {}
  // Colour of static texts, check boxes and group captions.
  virtual QColor on_text_colour(Dialog& d, int id);
  // Background of a static or check box (the main window's status line is black); invalid,
  // the default: transparent, the dialog's background shows through.
  virtual QColor on_static_background(Dialog& d, int id) { return QColor(); }
  // The colour mostly behind the control's text: its static background, else the face colour.
  virtual QColor on_backdrop_colour(Dialog& d, int id);
  // A right click on the dialog itself, at a screen position; (-1, -1) when it came from the
  // keyboard.
  virtual void on_context_menu(Dialog& d, QPoint global) {}
};

class Dialog : public QDialog, public ControlHost {
 public:
  // Makes the window and its controls; nothing is shown and the procedure is not called yet
  // (except to measure owner-drawn list items).
  Dialog(const DialogTemplate& t, DialogProc& proc, QWidget* owner);
  ~Dialog() override;

  // Initialises, shows and runs the dialog until end() is called; returns end()'s result.
  int run_modal();
  // Initialises and shows the dialog, and returns at once.
  void show_modeless();
  // Ends the dialog with a result: a modal run returns it, a modeless dialog is hidden.
  void end(int result);
  bool is_running() const { return running_; }
  bool has_ended() const { return ended_; }
  int end_result() const { return result_; }

  int template_id() const { return template_.id; }
  const DialogTemplate& dialog_template() const { return template_; }
  DialogProc& proc() const { return proc_; }
  const DialogUnits& units() const { return units_; }

  // --- controls by id ---
  bool exists(int id) const { return controls_.count(id) != 0; }
  Control* control(int id) const;
  ListBox* list(int id) const;
  ComboBox* combo(int id) const;
  // The window text as 8-bit text (texts.h); empty for no such control.
  std::string text(int id) const;
  void set_text(int id, std::string_view text);
  // The text read as an unsigned decimal number: leading blanks skipped, digits up to the
  // first other character. *ok is false (and the result 0) without digits or on overflow.
  unsigned get_uint(int id, bool* ok = nullptr) const;
  void set_uint(int id, unsigned value);
  void enable(int id, bool on);
  bool is_enabled(int id) const;
  // Each control from first to last inclusive; first above last does nothing.
  void enable_range(int first, int last, bool on);
  void check(int id, bool on);
  bool is_checked(int id) const;
  void focus(int id);
  int focused_id() const;  // 0 when no control of this dialog has the focus
  void set_limit(int id, int characters);
  bool is_modified(int id) const;
  void set_modified(int id, bool on);
  // 1 done, 0 when there is no such control.
  int make_owner_drawn(int id);
  void set_font(int id, const QFont& font);
  // Multi-line edits: the marked stretches, and a selection scrolled into view.
  void set_marks(int id, const std::vector<TextMark>& marks);
  void select_text(int id, int start, int length);
  void redraw(int id);
  void redraw();
  // While subclassed, the control's input goes to the procedure's on_input first.
  void subclass(int id, bool on = true);
  // In client-area pixels.
  QRect control_rect(int id) const;
  void set_control_rect(int id, const QRect& rect);

  void set_title(std::string_view title);
  std::string title() const;
  QSize client_size() const;
  void set_client_size(QSize size);
  MenuBar* menu_bar() const { return menu_bar_; }
  void set_accelerators(const AcceleratorTable& table);
  // A command delivered later from the event loop, as a posted message is.
  void post_command(int id, int code = kClicked);

  // What the dialog manager does for Escape, Enter and the close box.
  void escape();
  void enter();

  // --- ControlHost ---
  void control_command(int id, int code) override;
  void control_draw(DrawItem& item) override;
  QColor control_text_colour(int id) override;
  QColor control_background(int id) override;
  QColor control_backdrop(int id) override;
  bool control_input(int id, const InputEvent& event) override;
  QSize control_measure(int id) override;
  void control_highlight(int id) override;
  QWidget* control_widget(int id) override;
  QWidget* client_area() override;
  int host_id() const override { return template_.id; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  class ClientArea;

  void create_control(const ControlTemplate& t);
  void initialise();
  void place_on_screen();
  int default_button_id() const;

  const DialogTemplate& template_;
  DialogProc& proc_;
  DialogUnits units_;
  ClientArea* client_;
  MenuBar* menu_bar_ = nullptr;
  std::map<int, Control*> controls_;  // widgets are children of client_
  std::vector<Control*> in_order_;    // creation order, with the id-less ones
  bool running_ = false;
  bool ended_ = false;
  int result_ = 0;
};

// Makes the dialog and runs it modally; returns its result.
int run_dialog(const DialogTemplate& t, DialogProc& proc, QWidget* owner);

// Told about every dialog once it has been initialised and shown: a modal dialog from inside its
// run, a modeless or child dialog right after it was shown. Tests drive dialogs from here; the
// screenshot tool photographs them. An empty function removes the observer.
using DialogObserver = std::function<void(Dialog&)>;
void set_dialog_observer(DialogObserver observer);

// The designed platform's reading of a number from a text (Dialog::get_uint).
unsigned parse_dialog_uint(std::string_view text, bool* ok);

}  // namespace kw
