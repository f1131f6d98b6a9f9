// The combo box control over QComboBox, with the designed field's manners (see combo_box.h).
#include "ui/combo_box.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace kw {
namespace {

constexpr int kDataRole = Qt::UserRole;

// Enter in the entry field goes past the combo box to the dialog (its default command); the
// field would otherwise select an item whose text matches what was typed.
class EnterGoesToDialog : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    event->ignore();  // unaccepted, the key travels on to the parents
    return true;
  }
};

}  // namespace

ComboBox::ComboBox(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QComboBox(parent), Control(host, t), limit_(t.limit) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);  // the designed field does not complete what is typed
  // Nor does it pick the item that matches the field when the focus leaves or Enter is
  // pressed: the procedure decides what a typed text means.
  disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
  disconnect(lineEdit(), &QLineEdit::returnPressed, this, nullptr);
  setMaxVisibleItems(12);
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
    notify(kComboEditUpdate);
    notify(kComboEditChange);
  });
  connect(this, &QComboBox::activated, this, [this] {
    if (user_change_) notify(kComboSelChange);
  });
  lineEdit()->installEventFilter(new EnterGoesToDialog(lineEdit()));
  // Keys reach the field through the combo box itself; the mouse reaches the field directly.
  route_input(this);
  route_input(lineEdit());
}

ComboBox::~ComboBox() {
  disconnect();
  lineEdit()->disconnect(this);
}

QString ComboBox::text() const { return lineEdit()->text(); }

void ComboBox::set_text(const QString& text) { lineEdit()->setText(text); }

void ComboBox::set_limit(int characters) { limit_ = characters; }

void ComboBox::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  const bool printable = !typed.isEmpty() && typed.at(0).unicode() >= 0x20 &&
                         !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (printable && limit_ > 0 &&
      lineEdit()->text().size() - lineEdit()->selectedText().size() + typed.size() > limit_) {
    QApplication::beep();
    return;
  }
  // Enter belongs to the dialog (its default command), not to the combo box.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  QComboBox::keyPressEvent(event);
}

int ComboBox::add_string(const QString& text, uintptr_t data) {
  int index = count();
  if (control_style() & kSorted) {
    index = 0;
    while (index < count() && QString::compare(itemText(index), text, Qt::CaseInsensitive) <= 0)
      ++index;
  }
  const QString field = lineEdit()->text();
  const bool had_selection = currentIndex() >= 0;
  user_change_ = false;
  insertItem(index, text, QVariant::fromValue<qulonglong>(data));
  // Adding an item never selects it nor changes what the field shows (Qt selects the first
  // item put into an empty box).
  if (!had_selection) setCurrentIndex(-1);
  lineEdit()->setText(field);
  user_change_ = true;
  return index;
}

int ComboBox::delete_string(int index) {
  if (index < 0 || index >= count()) return -1;
  const QString field = lineEdit()->text();
  const bool was_current = index == currentIndex();
  user_change_ = false;
  removeItem(index);
  // Deleting the selected item leaves no selection; the field keeps its text.
  if (was_current) setCurrentIndex(-1);
  lineEdit()->setText(field);
  user_change_ = true;
  return count();
}

void ComboBox::reset() {
  user_change_ = false;
  clear();
  user_change_ = true;
}

uintptr_t ComboBox::item_data(int index) const {
  if (index < 0 || index >= count()) return 0;
  return static_cast<uintptr_t>(itemData(index, kDataRole).toULongLong());
}

void ComboBox::set_item_data(int index, uintptr_t data) {
  if (index >= 0 && index < count())
    setItemData(index, QVariant::fromValue<qulonglong>(data), kDataRole);
}

void ComboBox::set_current_selection(int index) {
  user_change_ = false;
  setCurrentIndex(index >= 0 && index < count() ? index : -1);
  if (currentIndex() < 0) lineEdit()->clear();
  user_change_ = true;
}

QWidget* ComboBox::entry_field() const { return lineEdit(); }

void ComboBox::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason) notify(kComboKillFocus);
}

}  // namespace kw
