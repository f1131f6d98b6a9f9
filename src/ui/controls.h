// The controls a template can hold, as Qt widgets that behave like the designed platform's:
// each knows its id and style, reports clicks and edits to its ControlHost as commands with
// notification codes, asks the host to paint it when it is owner-drawn, takes its text colour
// from the host, and offers its input to the host first while it is subclassed. Lists and
// combo boxes live in list_box.h and combo_box.h. The host owns nothing here: the widgets are
// children of the host's window. User-interface thread only.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <vector>

#include "ui/control_host.h"
#include "ui/template.h"

namespace kw {

class Control {
 public:
  Control(ControlHost* host, const ControlTemplate& t);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  virtual QWidget* widget() = 0;
  // Where the keyboard focus goes when the control is focused.
  virtual QWidget* focus_target() { return widget(); }

  int id() const { return id_; }
  ControlKind kind() const { return kind_; }
  uint32_t control_style() const { return style_; }
  bool owner_drawn() const { return (style_ & kOwnerDraw) != 0; }
  void set_owner_drawn(bool on);
  ControlHost* host() const { return host_; }

  virtual QString text() const = 0;
  virtual void set_text(const QString& text) = 0;
  virtual void set_limit(int characters) {}
  virtual bool is_modified() const { return false; }
  virtual void set_modified(bool on) {}
  virtual bool is_checked() const { return false; }
  virtual void set_checked(bool on) {}

  // While subclassed, the control's input goes to host()->control_input first.
  void set_subclassed(bool on) { subclassed_ = on; }
  bool subclassed() const { return subclassed_; }

 protected:
  // Routes the input events of `target` (the control or one of its parts) through the host
  // while the control is subclassed; mouse positions are taken in `target`'s coordinates.
  void route_input(QObject* target);
  void notify(int code) { host_->control_command(id_, code); }
  QColor text_colour();

 private:
  ControlHost* host_;
  int id_;
  ControlKind kind_;
  uint32_t style_;
  bool subclassed_ = false;
  std::vector<QObject*> routers_;  // event filters on the control's parts; deleted with it
};

// Push buttons and push-like toggles.
class ButtonControl : public QPushButton, public Control {
 public:
  ButtonControl(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  ~ButtonControl() override;
  QWidget* widget() override { return this; }
  QString text() const override { return QPushButton::text(); }
  void set_text(const QString& text) override;
  bool is_checked() const override { return isChecked(); }
  void set_checked(bool on) override { setChecked(on); }
  uint32_t draw_state() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class CheckControl : public QCheckBox, public Control {
 public:
  CheckControl(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  ~CheckControl() override;
  QWidget* widget() override { return this; }
  QString text() const override { return QCheckBox::text(); }
  void set_text(const QString& text) override { setText(text); }
  bool is_checked() const override { return isChecked(); }
  void set_checked(bool on) override { setChecked(on); }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Statics of every kind: text, frames, etched lines, icons, pictures. Edges (kSunken,
// kClientEdge) lie outside the client area, which is contentsRect().
class StaticControl : public QWidget, public Control {
 public:
  StaticControl(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  QWidget* widget() override { return this; }
  QString text() const override { return text_; }
  void set_text(const QString& text) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QString text_;
  int resource_;
};

class GroupBoxControl : public QWidget, public Control {
 public:
  GroupBoxControl(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  QWidget* widget() override { return this; }
  QString text() const override { return text_; }
  void set_text(const QString& text) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};

class EditControl : public QLineEdit, public Control {
 public:
  EditControl(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  ~EditControl() override;
  QWidget* widget() override { return this; }
  QString text() const override { return QLineEdit::text(); }
  void set_text(const QString& text) override { setText(text); }
  void set_limit(int characters) override { limit_ = characters; }
  int limit() const { return limit_; }
  bool is_modified() const override { return isModified(); }
  void set_modified(bool on) override { setModified(on); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int limit_;  // typing stops at this many characters; 0 = the platform default of 30000
};

// A stretch of a multi-line edit's text shown on a background of its own, in characters as
// the control shows them (a line end is one).
struct TextMark {
  int start;
  int length;
  QColor background;
};

// Multi-line edits. Their text has CR LF line ends, as the designed platform reports them,
// and the limit counts both characters.
class MultiEditControl : public QPlainTextEdit, public Control {
 public:
  MultiEditControl(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  ~MultiEditControl() override;
  QWidget* widget() override { return this; }
  QString text() const override;
  void set_text(const QString& text) override;
  void set_limit(int characters) override { limit_ = characters; }
  bool is_modified() const override { return modified_; }
  void set_modified(bool on) override { modified_ = on; }
  // Replaces every mark.
  void set_marks(const std::vector<TextMark>& marks);
  const std::vector<TextMark>& marks() const { return marks_; }
  // Selects the stretch and scrolls it into view.
  void select_range(int start, int length);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  // Characters (CR LF counting two) that may still be typed.
  int room() const;

  int limit_;
  bool modified_ = false;
  bool setting_ = false;  // set_text is running: the change is not the user's
  std::vector<TextMark> marks_;
};

// Virtual-key code of a Qt key, 0 for keys without one.
int virtual_key(int qt_key);

// Statics wrap their text at word boundaries, and inside a word that is wider than the
// control (a long path), so nothing is cut off at the right edge.
void draw_wrapped_text(QPainter& painter, const QRect& rect, Qt::Alignment alignment,
                       const QString& text);
// Height in pixels the wrapped text needs at this width.
int wrapped_text_height(const QFont& font, int width, const QString& text);

}  // namespace kw
