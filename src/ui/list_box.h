// The list box control: items with an optional text and a data word, single or extended
// selection, a caret (the item with the focus rectangle), optional sorting by text, and owner
// drawing of fixed-height items. Indices are 0-based; -1 means none. Selection changes made
// through these calls do not notify; the user's do (kListSelChange, with kNotify). The list's
// client area, where items and mouse positions live, is its viewport. User-interface thread
// only.
#pragma once

#include <QListWidget>
#include <vector>

#include "ui/controls.h"

namespace kw {

class ListBox : public QListWidget, public Control {
 public:
  ListBox(ControlHost* host, const ControlTemplate& t, QWidget* parent);
  ~ListBox() override;

  QWidget* widget() override { return this; }
  QString text() const override { return QString(); }
  void set_text(const QString&) override {}

  int count() const { return QListWidget::count(); }
  // Adds at the end, or at its place in text order when sorted; returns the index.
  int add_string(const QString& text, uintptr_t data = 0);
  // Inserts at index (-1: at the end) whatever the sorting; returns the index.
  int insert_string(int index, const QString& text, uintptr_t data = 0);
  // Returns the number of items left, or -1 when there is no such item.
  int delete_string(int index);
  // Removes every item. (Not reset(): that is the view's own virtual slot, which Qt calls on
  // every model reset.)
  void reset_content();
  QString item_text(int index) const;
  uintptr_t item_data(int index) const;
  void set_item_data(int index, uintptr_t data);

  bool is_selected(int index) const;
  // index -1: every item.
  void set_selected(int index, bool on);
  int selected_count() const;
  std::vector<int> selected_indices() const;  // ascending
  // Single-selection lists: the selected item, or -1.
  int current_selection() const;
  void set_current_selection(int index);
  int caret_index() const;
  void set_caret_index(int index);  // leaves the selection alone
  int top_index() const;
  void set_top_index(int index);
  // In client (viewport) coordinates; empty for no such item.
  QRect item_rect(int index) const;
  // The item under a client point, or -1.
  int item_from_point(int x, int y) const;
  // Off: changes are not painted until it is switched on again.
  void set_redraw(bool on);
  void redraw_item(int index);
  QWidget* client() const { return viewport(); }
  int item_height() const { return item_height_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  friend class OwnerDrawDelegate;
  QListWidgetItem* make_item(const QString& text, uintptr_t data);
  void paint_item(QPainter* painter, const QRect& rect, int index, uint32_t state);

  int item_height_ = 16;
  bool user_change_ = true;  // selection signals come from the user, not from these calls
};

}  // namespace kw
