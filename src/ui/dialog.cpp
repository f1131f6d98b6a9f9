// Dialogs from templates: creation, the dialog manager's keys, modal and modeless runs.
#include "ui/dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWhatsThis>
#include <limits>

#include "ui/system_colours.h"
#include "ui/text.h"
#include "ui/window_placement.h"

namespace kw {
namespace {

DialogObserver observer;

void tell_observer(Dialog& d) {
  // A copy: the observer may replace itself while it runs.
  if (DialogObserver o = observer) o(d);
}

}  // namespace

void set_dialog_observer(DialogObserver o) { observer = std::move(o); }

unsigned parse_dialog_uint(std::string_view text, bool* ok) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  uint64_t value = 0;
  const size_t first_digit = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
    if (value > std::numeric_limits<unsigned>::max()) {
      if (ok) *ok = false;
      return 0;
    }
  }
  const bool good = i > first_digit;
  if (ok) *ok = good;
  return good ? static_cast<unsigned>(value) : 0;
}

void DialogProc::on_close(Dialog& d) { d.escape(); }

QColor DialogProc::on_text_colour(Dialog&, int) { return sys_colour(SysColour::WindowText); }
QColor DialogProc::on_backdrop_colour(Dialog& d, int id) {
  const QColor background = on_static_background(d, id);
  return background.isValid() ? background : sys_colour(SysColour::ButtonFace);
}

// The client area: where the controls live and the background is painted.
class Dialog::ClientArea : public QWidget {
 public:
  ClientArea(Dialog* dialog) : QWidget(dialog), dialog_(dialog) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), sys_colour(SysColour::ButtonFace));
    dialog_->proc().on_paint_background(*dialog_, painter);
  }

  void contextMenuEvent(QContextMenuEvent* event) override {
    const QPoint where =
        event->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1) : event->globalPos();
    dialog_->proc().on_context_menu(*dialog_, where);
  }

 private:
  Dialog* dialog_;
};

Dialog::Dialog(const DialogTemplate& t, DialogProc& proc, QWidget* owner)
    : QDialog(owner),
      template_(t),
      proc_(proc),
      units_(DialogUnits::for_screen(owner ? owner->screen() : nullptr)) {
  if (t.style & kDialogChild) {
    setWindowFlags(Qt::Widget);
  } else {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (t.style & kDialogMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
    if (t.style & kDialogContextHelp) flags |= Qt::WindowContextHelpButtonHint;
    setWindowFlags(flags);
  }
  setWindowTitle(QString::fromLatin1(t.title ? t.title : ""));
  setFont(dialog_font(units_));
  setSizeGripEnabled(false);

  int top = 0;
  if (t.menu) {
    menu_bar_ = new MenuBar(*t.menu, this, this);
    top = menu_bar_->sizeHint().height();
  }
  client_ = new ClientArea(this);
  const QSize client(units_.x(t.width), units_.y(t.height));
  client_->setGeometry(0, top, client.width(), client.height());
  if (menu_bar_) menu_bar_->setGeometry(0, 0, client.width(), top);
  setFixedSize(client.width(), client.height() + top);
  for (const ControlTemplate& c : t.controls) create_control(c);
}

Dialog::~Dialog() {
  // The controls and the menu bar report to this dialog: they go while it is still whole.
  delete menu_bar_;
  delete client_;
}

void Dialog::create_control(const ControlTemplate& t) {
  Control* control = nullptr;
  switch (t.kind) {
    case ControlKind::Button:
    case ControlKind::PushToggle:
      control = new ButtonControl(this, t, client_);
      break;
    case ControlKind::CheckBox:
      control = new CheckControl(this, t, client_);
      break;
    case ControlKind::GroupBox:
      control = new GroupBoxControl(this, t, client_);
      break;
    case ControlKind::Static:
    case ControlKind::Frame:
    case ControlKind::EtchedLine:
    case ControlKind::Icon:
    case ControlKind::Picture:
      control = new StaticControl(this, t, client_);
      break;
    case ControlKind::Edit:
      if (t.style & kMultiLine) {
        control = new MultiEditControl(this, t, client_);
      } else {
        control = new EditControl(this, t, client_);
      }
      break;
    case ControlKind::ListBox:
      control = new ListBox(this, t, client_);
      break;
    case ControlKind::ComboBox:
      control = new ComboBox(this, t, client_);
      break;
  }
  QWidget* w = control->widget();
  QRect place = units_.rect(t.x, t.y, t.width, t.height);
  // A combo box's template height includes its drop-down list; the field is as high as its font.
  if (t.kind == ControlKind::ComboBox) place.setHeight(w->sizeHint().height());
  w->setGeometry(place);
  if (t.style & kStartsDisabled) w->setEnabled(false);
  in_order_.push_back(control);
  if (t.id != kNoId) controls_[t.id] = control;
}

Control* Dialog::control(int id) const {
  auto c = controls_.find(id);
  return c == controls_.end() ? nullptr : c->second;
}

ListBox* Dialog::list(int id) const { return dynamic_cast<ListBox*>(control(id)); }

ComboBox* Dialog::combo(int id) const { return dynamic_cast<ComboBox*>(control(id)); }

QWidget* Dialog::control_widget(int id) {
  Control* c = control(id);
  return c ? c->widget() : nullptr;
}

void Dialog::initialise() {
  for (Control* c : in_order_) {
    QWidget* w = c->focus_target();
    if (w->focusPolicy() != Qt::NoFocus && w->isEnabled()) {
      w->setFocus(Qt::OtherFocusReason);
      break;
    }
  }
  proc_.on_init(*this);
}

void Dialog::place_on_screen() {
  const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
  if (!(template_.style & kDialogCentred) && owner) {
    place_inside_screen(this, centred_position(this, owner->frameGeometry()));
    return;
  }
  const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  place_inside_screen(this, centred_position(this, screen->availableGeometry()));
}

int Dialog::run_modal() {
  initialise();
  if (ended_) return result_;
  place_on_screen();
  running_ = true;
  QTimer::singleShot(0, this, [this] {
    if (running_) tell_observer(*this);
  });
  exec();
  running_ = false;
  return result_;
}

void Dialog::show_modeless() {
  initialise();
  if (ended_) return;
  if (!(template_.style & kDialogChild)) place_on_screen();
  running_ = true;
  show();
  if (template_.style & kDialogChild) {
    // A child strip is shown with the window it belongs to, which may not be running yet.
    QTimer::singleShot(0, this, [this] {
      if (running_) tell_observer(*this);
    });
  } else {
    tell_observer(*this);
  }
}

void Dialog::end(int result) {
  result_ = result;
  ended_ = true;
  if (running_) {
    running_ = false;
    done(result);
  }
}

std::string Dialog::text(int id) const {
  Control* c = control(id);
  return c ? to_8bit(c->text()) : std::string();
}

void Dialog::set_text(int id, std::string_view text) {
  if (Control* c = control(id)) c->set_text(from_8bit(text));
}

unsigned Dialog::get_uint(int id, bool* ok) const {
  if (!exists(id)) {
    if (ok) *ok = false;
    return 0;
  }
  return parse_dialog_uint(text(id), ok);
}

void Dialog::set_uint(int id, unsigned value) { set_text(id, std::to_string(value)); }

void Dialog::set_marks(int id, const std::vector<TextMark>& marks) {
  if (auto* edit = dynamic_cast<MultiEditControl*>(control(id))) edit->set_marks(marks);
}

void Dialog::select_text(int id, int start, int length) {
  if (auto* edit = dynamic_cast<MultiEditControl*>(control(id))) edit->select_range(start, length);
}

void Dialog::enable(int id, bool on) {
  if (Control* c = control(id)) c->widget()->setEnabled(on);
}

bool Dialog::is_enabled(int id) const {
  Control* c = control(id);
  return c && c->widget()->isEnabled();
}

void Dialog::enable_range(int first, int last, bool on) {
  for (int id = first; id <= last; ++id) enable(id, on);
}

void Dialog::check(int id, bool on) {
  if (Control* c = control(id)) c->set_checked(on);
}

bool Dialog::is_checked(int id) const {
  Control* c = control(id);
  return c && c->is_checked();
}

void Dialog::focus(int id) {
  if (Control* c = control(id)) c->focus_target()->setFocus(Qt::OtherFocusReason);
}

int Dialog::focused_id() const {
  for (QWidget* w = focusWidget(); w && w != this; w = w->parentWidget()) {
    for (const auto& [id, c] : controls_) {
      if (c->widget() == w) return id;
    }
  }
  return 0;
}

void Dialog::set_limit(int id, int characters) {
  if (Control* c = control(id)) c->set_limit(characters);
}

bool Dialog::is_modified(int id) const {
  Control* c = control(id);
  return c && c->is_modified();
}

void Dialog::set_modified(int id, bool on) {
  if (Control* c = control(id)) c->set_modified(on);
}

int Dialog::make_owner_drawn(int id) {
  Control* c = control(id);
  if (!c) return 0;
  c->set_owner_drawn(true);
  return 1;
}

void Dialog::set_font(int id, const QFont& font) {
  if (Control* c = control(id)) c->widget()->setFont(font);
}

void Dialog::redraw(int id) {
  Control* c = control(id);
  if (!c) return;
  c->widget()->update();
  if (ListBox* l = list(id)) l->viewport()->update();
}

void Dialog::redraw() {
  update();
  client_->update();
  for (Control* c : in_order_) {
    c->widget()->update();
    if (auto* l = dynamic_cast<ListBox*>(c)) l->viewport()->update();
  }
  if (menu_bar_) menu_bar_->update();
}

void Dialog::subclass(int id, bool on) {
  if (Control* c = control(id)) c->set_subclassed(on);
}

QRect Dialog::control_rect(int id) const {
  Control* c = control(id);
  return c ? c->widget()->geometry() : QRect();
}

void Dialog::set_control_rect(int id, const QRect& rect) {
  if (Control* c = control(id)) c->widget()->setGeometry(rect);
}

void Dialog::set_title(std::string_view title) { setWindowTitle(from_8bit(title)); }

std::string Dialog::title() const { return to_8bit(windowTitle()); }

QSize Dialog::client_size() const { return client_->size(); }

void Dialog::set_client_size(QSize size) {
  const int top = menu_bar_ ? menu_bar_->height() : 0;
  client_->resize(size);
  if (menu_bar_) menu_bar_->resize(size.width(), top);
  setFixedSize(size.width(), size.height() + top);
}

void Dialog::set_accelerators(const AcceleratorTable& table) {
  install_accelerators(this, table, this);
}

void Dialog::post_command(int id, int code) {
  QTimer::singleShot(0, this, [this, id, code] { control_command(id, code); });
}

int Dialog::default_button_id() const {
  for (Control* c : in_order_) {
    if ((c->control_style() & kDefaultButton) && c->kind() == ControlKind::Button) return c->id();
  }
  return kIdOk;
}

void Dialog::escape() {
  if (exists(kIdCancel) && !is_enabled(kIdCancel)) return;
  control_command(kIdCancel, kClicked);
}

void Dialog::enter() {
  const int id = default_button_id();
  if (exists(id) && !is_enabled(id)) return;
  control_command(id, kClicked);
}

void Dialog::control_command(int id, int code) { proc_.on_command(*this, id, code); }

void Dialog::control_draw(DrawItem& item) { proc_.on_draw_item(*this, item); }

QColor Dialog::control_text_colour(int id) { return proc_.on_text_colour(*this, id); }

QColor Dialog::control_background(int id) { return proc_.on_static_background(*this, id); }
QColor Dialog::control_backdrop(int id) { return proc_.on_backdrop_colour(*this, id); }

bool Dialog::control_input(int id, const InputEvent& event) {
  return proc_.on_input(*this, id, event);
}

QWidget* Dialog::client_area() { return client_; }

QSize Dialog::control_measure(int id) { return proc_.on_measure_item(*this, id); }

void Dialog::control_highlight(int id) { proc_.on_menu_highlight(*this, id); }

void Dialog::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
    event->ignore();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape:
      escape();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      enter();
      break;
    case Qt::Key_F1:
      proc_.on_help(*this);
      break;
    default:
      event->ignore();
      break;
  }
}

void Dialog::closeEvent(QCloseEvent* event) {
  // The procedure decides; ending the dialog is what closes it.
  event->ignore();
  if (running_) proc_.on_close(*this);
}

bool Dialog::event(QEvent* event) {
  if (event->type() == QEvent::EnterWhatsThisMode) {
    // The caption's help button asks for help at once.
    QWhatsThis::leaveWhatsThisMode();
    proc_.on_help(*this);
    return true;
  }
  return QDialog::event(event);
}

int run_dialog(const DialogTemplate& t, DialogProc& proc, QWidget* owner) {
  Dialog d(t, proc, owner);
  return d.run_modal();
}

}  // namespace kw
