// The menu bar drawn by the layer, its popups, and accelerator tables.
#include "ui/menu_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

#include "ui/system_colours.h"

namespace kw {
namespace {

// Space the designed platform adds around a bar item's text and to an owner-drawn item's width.
constexpr int kTextPadding = 7;
constexpr int kOwnerDrawExtra = 8;

QKeySequence key_sequence(int vk, uint32_t modifiers) {
  int combination = qt_key(vk);
  if (modifiers & kKeyCtrl) combination |= Qt::ControlModifier;
  if (modifiers & kKeyShift) combination |= Qt::ShiftModifier;
  if (modifiers & kKeyAlt) combination |= Qt::AltModifier;
  return QKeySequence(combination);
}

QChar mnemonic_of(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text.at(i) == QLatin1Char('&')) {
      if (text.at(i + 1) != QLatin1Char('&')) return text.at(i + 1).toUpper();
      ++i;
    }
  }
  return QChar();
}

QString shown_text(QString text) { return text.remove(QLatin1Char('&')); }

// Only a checked item is checkable: a style draws an empty box beside every checkable item
// that is not checked, and a menu item shows a mark only when it has one.
void check_action(QAction* action, bool on) {
  action->setCheckable(on);
  action->setChecked(on);
}

}  // namespace

int qt_key(int vk) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return vk;
  switch (vk) {
    case kVkBack:
      return Qt::Key_Backspace;
    case kVkTab:
      return Qt::Key_Tab;
    case kVkReturn:
      return Qt::Key_Return;
    case kVkEscape:
      return Qt::Key_Escape;
    case kVkShift:
      return Qt::Key_Shift;
    case kVkControl:
      return Qt::Key_Control;
    case kVkMenu:
      return Qt::Key_Alt;
    case kVkSpace:
      return Qt::Key_Space;
    case kVkPageUp:
      return Qt::Key_PageUp;
    case kVkPageDown:
      return Qt::Key_PageDown;
    case kVkEnd:
      return Qt::Key_End;
    case kVkHome:
      return Qt::Key_Home;
    case kVkLeft:
      return Qt::Key_Left;
    case kVkUp:
      return Qt::Key_Up;
    case kVkRight:
      return Qt::Key_Right;
    case kVkDown:
      return Qt::Key_Down;
    case kVkInsert:
      return Qt::Key_Insert;
    case kVkDelete:
      return Qt::Key_Delete;
    case kVkF1:
      return Qt::Key_F1;
    default:
      return 0;
  }
}

MenuBar::MenuBar(const MenuTemplate& t, ControlHost* host, QWidget* parent)
    : QWidget(parent), host_(host), menu_id_(t.id) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  for (const MenuItemTemplate& item : t.items) {
    QMenu* menu = (item.flags & kMenuPopup) ? build_popup(item.items) : nullptr;
    items_.push_back(BarItem{QString::fromLatin1(item.text ? item.text : ""), item.id, item.flags,
                             menu, QRect(), !(item.flags & kMenuGrayed)});
    const QChar letter = mnemonic_of(items_.back().text);
    if (menu && !letter.isNull()) {
      const int index = static_cast<int>(items_.size()) - 1;
      auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | letter.unicode()), parent);
      connect(shortcut, &QShortcut::activated, this, [this, index] { open_popup(index); });
    }
  }
  layout_items();
}

QMenu* MenuBar::build_popup(std::span<const MenuItemTemplate> items) {
  auto* menu = new QMenu(this);
  for (const MenuItemTemplate& item : items) {
    if (item.flags & kMenuSeparator) {
      menu->addSeparator();
      continue;
    }
    if (item.flags & kMenuPopup) {
      QMenu* sub = build_popup(item.items);
      sub->setTitle(QString::fromLatin1(item.text));
      menu->addMenu(sub);
      continue;
    }
    QAction* action = menu->addAction(QString::fromLatin1(item.text));
    check_action(action, item.flags & kMenuChecked);
    action->setEnabled(!(item.flags & kMenuGrayed));
    const int id = item.id;
    // A choice never toggles the mark (Qt toggles a checkable action before it triggers): the
    // host decides.
    connect(action, &QAction::triggered, this, [this, action, id] {
      if (action->isCheckable()) action->setChecked(true);
      host_->control_command(id, kClicked);
    });
    actions_[id] = action;
  }
  return menu;
}

void MenuBar::layout_items() {
  const QFontMetrics metrics(font());
  int x = 0;
  const int height = sizeHint().height();
  for (BarItem& item : items_) {
    int width;
    if (item.flags & kMenuOwnerDraw) {
      width = host_->control_measure(item.id).width() + kOwnerDrawExtra;
    } else {
      width = metrics.horizontalAdvance(shown_text(item.text)) + 2 * kTextPadding;
    }
    item.rect = QRect(x, 0, width, height);
    x += width;
  }
  update();
}

QSize MenuBar::sizeHint() const {
  const QFontMetrics metrics(font());
  return QSize(200, std::max(metrics.height() + 6, 20));
}

void MenuBar::enable_item(int id, bool on) {
  if (auto a = actions_.find(id); a != actions_.end()) a->second->setEnabled(on);
  for (BarItem& item : items_) {
    if (!item.menu && item.id == id && item.enabled != on) {
      item.enabled = on;
      update(item.rect);
    }
  }
}

bool MenuBar::is_item_enabled(int id) const {
  if (auto a = actions_.find(id); a != actions_.end()) return a->second->isEnabled();
  for (const BarItem& item : items_) {
    if (!item.menu && item.id == id) return item.enabled;
  }
  return false;
}

void MenuBar::check_item(int id, bool on) {
  if (auto a = actions_.find(id); a != actions_.end()) check_action(a->second, on);
}

bool MenuBar::is_item_checked(int id) const {
  auto a = actions_.find(id);
  return a != actions_.end() && a->second->isChecked();
}

bool MenuBar::set_owner_drawn(int id, bool on) {
  for (BarItem& item : items_) {
    if (!item.menu && item.id == id) {
      item.flags = on ? (item.flags | kMenuOwnerDraw) : (item.flags & ~kMenuOwnerDraw);
      layout_items();
      return true;
    }
  }
  return false;
}

bool MenuBar::is_owner_drawn(int id) const {
  for (const BarItem& item : items_) {
    if (!item.menu && item.id == id) return (item.flags & kMenuOwnerDraw) != 0;
  }
  return false;
}

QMenu* MenuBar::popup(int index) const {
  return index >= 0 && index < item_count() ? items_[index].menu : nullptr;
}

void MenuBar::track_popup(int index, QPoint global) {
  if (QMenu* menu = popup(index)) menu->exec(global);
}

QRect MenuBar::item_rect(int id) const {
  for (const BarItem& item : items_) {
    if (!item.menu && item.id == id) return item.rect;
  }
  return QRect();
}

int MenuBar::item_id(int index) const {
  if (index < 0 || index >= item_count() || items_[index].menu) return 0;
  return items_[index].id;
}

void MenuBar::set_hot_item(int index) {
  if (index == hot_) return;
  if (hot_ >= 0 && hot_ < item_count()) update(items_[hot_].rect);
  hot_ = index;
  if (hot_ >= 0 && hot_ < item_count()) update(items_[hot_].rect);
  host_->control_highlight(item_id(hot_));
}

bool MenuBar::choose(int id) {
  if (auto a = actions_.find(id); a != actions_.end()) {
    if (!a->second->isEnabled()) return false;
    a->second->trigger();
    return true;
  }
  for (const BarItem& item : items_) {
    if (!item.menu && item.id == id) {
      if (!item.enabled) return false;
      host_->control_command(id, kClicked);
      return true;
    }
  }
  return false;
}

int MenuBar::index_at(QPoint p) const {
  for (int i = 0; i < item_count(); ++i) {
    if (items_[i].rect.contains(p)) return i;
  }
  return -1;
}

void MenuBar::open_popup(int index) {
  QMenu* menu = popup(index);
  if (!menu) return;
  open_ = index;
  update(items_[index].rect);
  menu->exec(mapToGlobal(items_[index].rect.bottomLeft() + QPoint(0, 1)));
  open_ = -1;
  update(items_[index].rect);
  set_hot_item(index_at(mapFromGlobal(QCursor::pos())));
}

void MenuBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), sys_colour(SysColour::ButtonFace));
  for (int i = 0; i < item_count(); ++i) {
    const BarItem& item = items_[i];
    if (item.flags & kMenuOwnerDraw) {
      DrawItem draw(DrawKind::MenuItem, item.id);
      if (i == hot_ || i == pressed_) draw.state |= kStateSelected;
      if (!item.enabled) draw.state |= kStateDisabled | kStateGrayed;
      draw.rect = item.rect;
      draw.painter = &painter;
      draw.widget = this;
      draw.host = host_;
      draw.host_id = host_->host_id();
      painter.save();
      painter.setClipRect(item.rect);
      host_->control_draw(draw);
      painter.restore();
      continue;
    }
    if (i == open_ || i == pressed_) {
      draw_edge(painter, item.rect.adjusted(0, 1, 0, -1), kSunkenOuter);
    } else if (i == hot_ && item.enabled) {
      draw_edge(painter, item.rect.adjusted(0, 1, 0, -1), kRaisedInner);
    }
    const QRect text_rect = item.rect.translated(i == open_ ? 1 : 0, i == open_ ? 1 : 0);
    painter.setPen(item.enabled ? sys_colour(SysColour::WindowText)
                                : sys_colour(SysColour::GrayText));
    painter.drawText(text_rect, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine,
                     item.text);
  }
}

void MenuBar::mouseMoveEvent(QMouseEvent* event) {
  set_hot_item(index_at(event->position().toPoint()));
}

void MenuBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int index = index_at(event->position().toPoint());
  if (index < 0) return;
  if (items_[index].menu) {
    open_popup(index);
  } else if (items_[index].enabled) {
    pressed_ = index;
    update(items_[index].rect);
  }
}

void MenuBar::mouseReleaseEvent(QMouseEvent* event) {
  if (pressed_ < 0) return;
  const int index = pressed_;
  pressed_ = -1;
  update(items_[index].rect);
  if (index_at(event->position().toPoint()) == index && items_[index].enabled)
    host_->control_command(items_[index].id, kClicked);
}

void MenuBar::leaveEvent(QEvent*) { set_hot_item(-1); }

void MenuBar::resizeEvent(QResizeEvent*) { layout_items(); }

void install_accelerators(QWidget* window, const AcceleratorTable& table, ControlHost* host) {
  for (const Accelerator& key : table.keys) {
    auto* shortcut = new QShortcut(key_sequence(key.key, key.modifiers), window);
    const int id = key.id;
    QObject::connect(shortcut, &QShortcut::activated, window,
                     [host, id] { host->control_command(id, kAccelerator); });
  }
}

}  // namespace kw
