// The drop-down combo box with an entry field: a list of items (text and data word, sorted
// when the template says so) and a field the user types into. Typing does not change the
// selected item; picking an item puts its text into the field. Changes made through these
// calls do not notify; the user's do: kComboEditUpdate and kComboEditChange on typing,
// kComboSelChange on picking, kComboKillFocus when the focus leaves. While subclassed, the
// entry field's input goes to the host. User-interface thread only.
#pragma once

#include <QComboBox>

#include "ui/controls.h"

namespace kw {

class ComboBox : public QComboBox, public Control {
 public:
  ComboBox(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  ~ComboBox() override;

  QWidget* widget() override { return this; }
  QString text() const override;  // the entry field
  void set_text(const QString& text) override;
  void set_limit(int characters) override;

  int count() const { return QComboBox::count(); }
  int add_string(const QString& text, uintptr_t data = 0);  // returns the index
  int delete_string(int index);  // returns the number left, -1 for no such item
  void reset();
  QString item_text(int index) const { return itemText(index); }
  uintptr_t item_data(int index) const;
  void set_item_data(int index, uintptr_t data);
  int current_selection() const { return currentIndex(); }
  void set_current_selection(int index);  // -1: none, and the field is emptied
  QWidget* entry_field() const;

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool user_change_ = true;
  int limit_ = 0;
};

}  // namespace kw
