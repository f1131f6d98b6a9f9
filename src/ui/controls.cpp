// The controls of a template as Qt widgets, and the routing of a subclassed control's input.
#include "ui/controls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>

#include "ui/resources.h"
#include "ui/system_colours.h"

namespace kw {
namespace {

// The designed platform's default text limit of edit fields.
constexpr int kDefaultEditLimit = 30000;

uint32_t modifiers_of(Qt::KeyboardModifiers m) {
  uint32_t result = 0;
  if (m & Qt::ShiftModifier) result |= kKeyShift;
  if (m & Qt::ControlModifier) result |= kKeyCtrl;
  if (m & Qt::AltModifier) result |= kKeyAlt;
  return result;
}

// Translates the input of one part of a control into InputEvents for the host.
class InputRouter : public QObject {
 public:
  InputRouter(Control* control, QObject* parent) : QObject(parent), control_(control) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!control_->subclassed()) return false;
    switch (event->type()) {
      case QEvent::KeyPress:
        return key(static_cast<QKeyEvent*>(event));
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        return mouse(static_cast<QMouseEvent*>(event));
      default:
        return false;
    }
  }

 private:
  bool key(QKeyEvent* e) {
    InputEvent down(InputEvent::KeyDown);
    down.key = virtual_key(e->key());
    down.modifiers = modifiers_of(e->modifiers());
    if (offer(down)) return true;
    InputEvent ch(InputEvent::Char);
    ch.modifiers = down.modifiers;
    if ((down.modifiers & kKeyCtrl) && down.key >= 'A' && down.key <= 'Z') {
      ch.ch = static_cast<char32_t>(down.key - 'A' + 1);
    } else if (!e->text().isEmpty()) {
      ch.ch = e->text().at(0).unicode();
    }
    return ch.ch != 0 && offer(ch);
  }

  bool mouse(QMouseEvent* e) {
    InputEvent m(InputEvent::MouseMove);
    switch (e->type()) {
      case QEvent::MouseMove:
        break;
      case QEvent::MouseButtonPress:
        if (e->button() == Qt::LeftButton) {
          m.kind = InputEvent::LeftDown;
        } else if (e->button() == Qt::RightButton) {
          m.kind = InputEvent::RightDown;
        } else {
          return false;
        }
        break;
      case QEvent::MouseButtonRelease:
        if (e->button() != Qt::LeftButton) return false;
        m.kind = InputEvent::LeftUp;
        break;
      default:
        if (e->button() != Qt::LeftButton) return false;
        m.kind = InputEvent::LeftDoubleClick;
        break;
    }
    const QPoint p = e->position().toPoint();
    m.x = p.x();
    m.y = p.y();
    m.modifiers = modifiers_of(e->modifiers());
    return offer(m);
  }

  bool offer(const InputEvent& e) { return control_->host()->control_input(control_->id(), e); }

  Control* control_;
};

QPalette with_text_colours(QPalette palette, const QColor& colour, const QColor& disabled) {
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText}) {
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    palette.setColor(QPalette::Disabled, role, disabled);
  }
  return palette;
}

}  // namespace

void draw_wrapped_text(QPainter& painter, const QRect& rect, Qt::Alignment alignment,
                       const QString& text) {
  QTextOption option(alignment | Qt::AlignTop);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  painter.drawText(QRectF(rect), text, option);
}

int wrapped_text_height(const QFont& font, int width, const QString& text) {
  QTextOption option(Qt::AlignLeft | Qt::AlignTop);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  const QFontMetricsF metrics(font);
  int height = 0;
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    QTextLayout layout(paragraph, font);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      ++lines;
    }
    layout.endLayout();
    height += std::max(lines, 1) * static_cast<int>(std::ceil(metrics.lineSpacing()));
  }
  return height;
}

int virtual_key(int qt_key) {
  if ((qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) || (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9))
    return qt_key;  // Qt's codes of letters and digits are their ASCII codes
  switch (qt_key) {
    case Qt::Key_Backspace:
      return kVkBack;
    case Qt::Key_Tab:
      return kVkTab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kVkReturn;
    case Qt::Key_Escape:
      return kVkEscape;
    case Qt::Key_Shift:
      return kVkShift;
    case Qt::Key_Control:
      return kVkControl;
    case Qt::Key_Alt:
      return kVkMenu;
    case Qt::Key_Space:
      return kVkSpace;
    case Qt::Key_PageUp:
      return kVkPageUp;
    case Qt::Key_PageDown:
      return kVkPageDown;
    case Qt::Key_End:
      return kVkEnd;
    case Qt::Key_Home:
      return kVkHome;
    case Qt::Key_Left:
      return kVkLeft;
    case Qt::Key_Up:
      return kVkUp;
    case Qt::Key_Right:
      return kVkRight;
    case Qt::Key_Down:
      return kVkDown;
    case Qt::Key_Insert:
      return kVkInsert;
    case Qt::Key_Delete:
      return kVkDelete;
    case Qt::Key_F1:
      return kVkF1;
    case Qt::Key_F3:
      return kVkF3;
    default:
      return 0;
  }
}

Control::Control(ControlHost* host, const ControlTemplate& t)
    : host_(host), id_(t.id), kind_(t.kind), style_(t.style) {}

void Control::set_owner_drawn(bool on) {
  style_ = on ? (style_ | kOwnerDraw) : (style_ & ~kOwnerDraw);
  widget()->update();
}

Control::~Control() {
  // The widget part outlives this part by a little: its input must no longer reach here.
  for (QObject* router : routers_) delete router;
}

void Control::route_input(QObject* target) {
  auto* router = new InputRouter(this, target);
  target->installEventFilter(router);
  routers_.push_back(router);
}

QColor Control::text_colour() { return host_->control_text_colour(id_); }

// --- buttons ---

ButtonControl::ButtonControl(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QPushButton(QString::fromLatin1(t.text ? t.text : ""), parent), Control(host, t) {
  setCheckable(t.kind == ControlKind::PushToggle);
  // A focused push button takes Enter itself, as on the designed platform.
  setAutoDefault(true);
  connect(this, &QPushButton::clicked, this, [this] { notify(kClicked); });
  route_input(this);
}

ButtonControl::~ButtonControl() { disconnect(); }

void ButtonControl::set_text(const QString& text) {
  setText(text);
  update();
}

uint32_t ButtonControl::draw_state() const {
  uint32_t state = 0;
  if (isDown() || (isCheckable() && isChecked())) state |= kStateSelected;
  if (isCheckable() && isChecked()) state |= kStateChecked;
  if (hasFocus()) state |= kStateFocus;
  if (!isEnabled()) state |= kStateDisabled;
  return state;
}

void ButtonControl::paintEvent(QPaintEvent* event) {
  if (!owner_drawn()) {
    QPushButton::paintEvent(event);
    return;
  }
  QPainter painter(this);
  DrawItem item(DrawKind::Button, id());
  item.state = draw_state();
  item.rect = rect();
  item.painter = &painter;
  item.widget = this;
  item.text = QPushButton::text();
  item.host = host();
  item.host_id = host()->host_id();
  host()->control_draw(item);
}

CheckControl::CheckControl(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QCheckBox(QString::fromLatin1(t.text ? t.text : ""), parent), Control(host, t) {
  connect(this, &QCheckBox::clicked, this, [this] { notify(kClicked); });
  route_input(this);
}

CheckControl::~CheckControl() { disconnect(); }

void CheckControl::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  if (const QColor background = host()->control_background(id()); background.isValid()) {
    painter.fillRect(rect(), background);
  }
  QStyleOptionButton option;
  initStyleOption(&option);
  option.palette = with_text_colours(option.palette, text_colour(),
                                     disabled_text_colour(host()->control_backdrop(id())));
  painter.drawControl(QStyle::CE_CheckBox, option);
}

// --- statics ---

StaticControl::StaticControl(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QWidget(parent),
      Control(host, t),
      text_(QString::fromLatin1(t.text ? t.text : "")),
      resource_(t.resource) {
  setFocusPolicy(Qt::NoFocus);
  const int edge = (t.style & kClientEdge) ? 2 : (t.style & kSunken) ? 1 : 0;
  setContentsMargins(edge, edge, edge, edge);
  // A static that does not notify is only a picture: clicks reach what lies beneath it, such
  // as the check box a label is laid over.
  if (!(t.style & kNotify)) setAttribute(Qt::WA_TransparentForMouseEvents);
  route_input(this);
}

void StaticControl::set_text(const QString& text) {
  text_ = text;
  update();
}

void StaticControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (control_style() & kClientEdge) {
    draw_edge(painter, rect(), kEdgeSunken);
  } else if (control_style() & kSunken) {
    draw_edge(painter, rect(), kSunkenOuter);
  }
  const QRect client = contentsRect();
  painter.setClipRect(client);
  if (owner_drawn()) {
    DrawItem item(DrawKind::Static, id());
    item.state = isEnabled() ? 0u : static_cast<uint32_t>(kStateDisabled);
    item.rect = client;
    item.painter = &painter;
    item.widget = this;
    item.text = text_;
    item.host = host();
    item.host_id = host()->host_id();
    host()->control_draw(item);
    return;
  }
  switch (kind()) {
    case ControlKind::Frame:
      if (control_style() & kEtched) draw_edge(painter, client, kEdgeEtched);
      return;
    case ControlKind::EtchedLine:
      draw_edge(painter, client, kEdgeEtched, kSideTop);
      return;
    case ControlKind::Icon:
      painter.drawPixmap(client.topLeft(), load_icon(resource_));
      return;
    case ControlKind::Picture:
      painter.drawPixmap(client.topLeft(), load_bitmap(resource_));
      return;
    default:
      break;
  }
  if (const QColor background = host()->control_background(id()); background.isValid()) {
    painter.fillRect(client, background);
  }
  if (text_.isEmpty()) return;
  const Qt::Alignment horizontal = (control_style() & kCentred)        ? Qt::AlignHCenter
                                   : (control_style() & kRightAligned) ? Qt::AlignRight
                                                                       : Qt::AlignLeft;
  painter.setPen(isEnabled() ? text_colour() : disabled_text_colour(host()->control_backdrop(id())));
  if (control_style() & kCentreVertically) {
    painter.drawText(
        client, horizontal | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text_);
  } else {
    draw_wrapped_text(painter, client, horizontal, text_);
  }
}

void StaticControl::mousePressEvent(QMouseEvent* event) {
  if ((control_style() & kNotify) && event->button() == Qt::LeftButton) {
    notify(kClicked);
  } else {
    QWidget::mousePressEvent(event);
  }
}

void StaticControl::mouseDoubleClickEvent(QMouseEvent* event) {
  if ((control_style() & kNotify) && event->button() == Qt::LeftButton) {
    notify(kStaticDoubleClick);
  } else {
    QWidget::mouseDoubleClickEvent(event);
  }
}

GroupBoxControl::GroupBoxControl(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QWidget(parent), Control(host, t), text_(QString::fromLatin1(t.text ? t.text : "")) {
  setFocusPolicy(Qt::NoFocus);
  // A group box is only a picture: clicks go through to what lies behind it.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void GroupBoxControl::set_text(const QString& text) {
  text_ = text;
  update();
}

void GroupBoxControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  // The frame's top line runs through the middle of the caption's line.
  QRect frame = rect().adjusted(0, metrics.height() / 2, 0, 0);
  if (text_.isEmpty()) {
    draw_edge(painter, frame, kEdgeEtched);
    return;
  }
  const int inset = metrics.averageCharWidth();
  QRect caption(inset, 0, metrics.horizontalAdvance(text_) + 4, metrics.height());
  painter.save();
  painter.setClipRegion(QRegion(rect()).subtracted(QRegion(caption)));
  draw_edge(painter, frame, kEdgeEtched);
  painter.restore();
  painter.setPen(text_colour());
  painter.drawText(caption, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine, text_);
}

// --- edits ---

EditControl::EditControl(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QLineEdit(parent), Control(host, t), limit_(t.limit) {
  // Limits are enforced on typing only, as on the designed platform: text set by the program
  // is never cut (keyPressEvent).
  setMaxLength(32767);
  if (t.text) setText(QString::fromLatin1(t.text));
  connect(this, &QLineEdit::textChanged, this, [this] {
    notify(kEditUpdate);
    notify(kEditChange);
  });
  route_input(this);
}

EditControl::~EditControl() { disconnect(); }

void EditControl::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  const bool printable = !typed.isEmpty() && typed.at(0).unicode() >= 0x20 &&
                         !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (printable) {
    if ((control_style() & kDigitsOnly) && !typed.at(0).isDigit()) {
      QApplication::beep();
      return;
    }
    const int limit = limit_ > 0 ? limit_ : kDefaultEditLimit;
    if (QLineEdit::text().size() - selectedText().size() + typed.size() > limit) {
      QApplication::beep();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

MultiEditControl::MultiEditControl(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QPlainTextEdit(parent), Control(host, t), limit_(t.limit) {
  setTabChangesFocus(true);
  setVerticalScrollBarPolicy((t.style & kVScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setReadOnly((t.style & kReadOnly) != 0);
  if (t.text) set_text(QString::fromLatin1(t.text));
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (!setting_) modified_ = true;
    notify(kEditUpdate);
    notify(kEditChange);
  });
  route_input(this);
}

MultiEditControl::~MultiEditControl() { disconnect(); }

QString MultiEditControl::text() const {
  QString text = toPlainText();
  text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return text;
}

void MultiEditControl::set_text(const QString& text) {
  QString plain = text;
  plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  setting_ = true;
  setPlainText(plain);
  setting_ = false;
  modified_ = false;
}

void MultiEditControl::set_marks(const std::vector<TextMark>& marks) {
  marks_ = marks;
  QList<QTextEdit::ExtraSelection> selections;
  const int size = document()->characterCount() - 1;
  for (const TextMark& mark : marks) {
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(document());
    selection.cursor.setPosition(std::min(mark.start, size));
    selection.cursor.setPosition(std::min(mark.start + mark.length, size), QTextCursor::KeepAnchor);
    selection.format.setBackground(mark.background);
    selections.append(selection);
  }
  setExtraSelections(selections);
}

void MultiEditControl::select_range(int start, int length) {
  const int size = document()->characterCount() - 1;
  QTextCursor cursor(document());
  cursor.setPosition(std::min(start, size));
  cursor.setPosition(std::min(start + length, size), QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  ensureCursorVisible();
}

int MultiEditControl::room() const {
  const int limit = limit_ > 0 ? limit_ : kDefaultEditLimit;
  QString selected = textCursor().selectedText();
  // The cursor reports line ends inside a selection as U+2029.
  const int selected_length = static_cast<int>(selected.size() + selected.count(QChar(0x2029)));
  return limit - (static_cast<int>(text().size()) - selected_length);
}

void MultiEditControl::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && !(control_style() & kWantReturn) && !(event->modifiers() & Qt::ControlModifier)) {
    event->ignore();  // Enter belongs to the dialog
    return;
  }
  const QString typed = event->text();
  const bool inserts = enter || (!typed.isEmpty() && typed.at(0).unicode() >= 0x20 &&
                                 !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)));
  if (inserts && room() < (enter ? 2 : static_cast<int>(typed.size()))) {
    QApplication::beep();
    return;
  }
  if (enter) {
    textCursor().insertText(QStringLiteral("\n"));
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void MultiEditControl::insertFromMimeData(const QMimeData* source) {
  if (!source->hasText()) return;
  QString text = source->text();
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  // Cut what is pasted to the room left, counting each line end as two characters.
  int room_left = room();
  qsizetype keep = 0;
  for (; keep < text.size(); ++keep) {
    const int cost = text.at(keep) == QLatin1Char('\n') ? 2 : 1;
    if (cost > room_left) break;
    room_left -= cost;
  }
  if (keep < text.size()) QApplication::beep();
  textCursor().insertText(text.left(keep));
}

}  // namespace kw
