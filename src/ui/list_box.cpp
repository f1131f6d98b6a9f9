// The list box control over QListWidget, with owner drawing through the host.
#include "ui/list_box.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace kw {

// Hands owner-drawn items to the list's host at the list's fixed item height.
class OwnerDrawDelegate : public QStyledItemDelegate {
 public:
  explicit OwnerDrawDelegate(ListBox* list) : QStyledItemDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    uint32_t state = 0;
    if (option.state & QStyle::State_Selected) state |= kStateSelected;
    if (option.state & QStyle::State_HasFocus) state |= kStateFocus;
    if (!(option.state & QStyle::State_Enabled)) state |= kStateDisabled;
    list_->paint_item(painter, option.rect, index.row(), state);
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    return QSize(list_->viewport()->width(), list_->item_height_);
  }

 private:
  ListBox* list_;
};

namespace {

constexpr int kDataRole = Qt::UserRole;

// Sorted lists order their texts without regard to case, equal texts in order of adding.
bool sorts_before(const QString& a, const QString& b) {
  return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

}  // namespace

ListBox::ListBox(ControlHost* host, const ControlTemplate& t, QWidget* parent)
    : QListWidget(parent), Control(host, t) {
  setSelectionMode((t.style & kExtendedSel) ? QAbstractItemView::ExtendedSelection
                                            : QAbstractItemView::SingleSelection);
  setVerticalScrollBarPolicy((t.style & kVScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setUniformItemSizes(true);
  if (owner_drawn()) {
    item_height_ = host->control_measure(t.id).height();
    setItemDelegate(new OwnerDrawDelegate(this));
  }
  connect(this, &QListWidget::itemSelectionChanged, this, [this] {
    if (user_change_ && (control_style() & kNotify)) notify(kListSelChange);
  });
  connect(this, &QListWidget::itemDoubleClicked, this, [this] {
    if (control_style() & kNotify) notify(kListDoubleClick);
  });
  route_input(this);
  route_input(viewport());
}

// Clearing the model on the way out must not notify a host that is going away too.
ListBox::~ListBox() { disconnect(); }

QListWidgetItem* ListBox::make_item(const QString& text, uintptr_t data) {
  auto* item = new QListWidgetItem();
  // Owner-drawn lists without strings keep no text.
  if (!owner_drawn() || (control_style() & kHasStrings)) item->setText(text);
  item->setData(kDataRole, QVariant::fromValue<qulonglong>(data));
  return item;
}

int ListBox::add_string(const QString& text, uintptr_t data) {
  int index = count();
  if (control_style() & kSorted) {
    int low = 0, high = count();
    while (low < high) {
      const int mid = (low + high) / 2;
      if (sorts_before(text, item(mid)->text())) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    index = low;
  }
  return insert_string(index, text, data);
}

int ListBox::insert_string(int index, const QString& text, uintptr_t data) {
  if (index < 0 || index > count()) index = count();
  user_change_ = false;
  insertItem(index, make_item(text, data));
  user_change_ = true;
  return index;
}

int ListBox::delete_string(int index) {
  if (index < 0 || index >= count()) return -1;
  user_change_ = false;
  delete takeItem(index);
  user_change_ = true;
  return count();
}

void ListBox::reset_content() {
  user_change_ = false;
  clear();
  user_change_ = true;
}

QString ListBox::item_text(int index) const {
  const QListWidgetItem* i = item(index);
  return i ? i->text() : QString();
}

uintptr_t ListBox::item_data(int index) const {
  const QListWidgetItem* i = item(index);
  return i ? static_cast<uintptr_t>(i->data(kDataRole).toULongLong()) : 0;
}

void ListBox::set_item_data(int index, uintptr_t data) {
  if (QListWidgetItem* i = item(index))
    i->setData(kDataRole, QVariant::fromValue<qulonglong>(data));
}

bool ListBox::is_selected(int index) const {
  const QListWidgetItem* i = item(index);
  return i && i->isSelected();
}

void ListBox::set_selected(int index, bool on) {
  user_change_ = false;
  if (index == -1) {
    if (on) {
      selectAll();
    } else {
      clearSelection();
    }
  } else if (QListWidgetItem* i = item(index)) {
    i->setSelected(on);
  }
  user_change_ = true;
}

int ListBox::selected_count() const { return static_cast<int>(selectedItems().size()); }

std::vector<int> ListBox::selected_indices() const {
  std::vector<int> result;
  for (int i = 0; i < count(); ++i) {
    if (item(i)->isSelected()) result.push_back(i);
  }
  return result;
}

int ListBox::current_selection() const {
  const std::vector<int> selected = selected_indices();
  return selected.empty() ? -1 : selected.front();
}

void ListBox::set_current_selection(int index) {
  user_change_ = false;
  if (index < 0 || index >= count()) {
    clearSelection();
  } else {
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  }
  user_change_ = true;
}

int ListBox::caret_index() const { return currentRow(); }

void ListBox::set_caret_index(int index) {
  user_change_ = false;
  setCurrentRow(index, QItemSelectionModel::NoUpdate);
  user_change_ = true;
}

int ListBox::top_index() const { return count() == 0 ? 0 : verticalScrollBar()->value(); }

void ListBox::set_top_index(int index) { verticalScrollBar()->setValue(index); }

QRect ListBox::item_rect(int index) const {
  const QListWidgetItem* i = item(index);
  return i ? visualItemRect(i) : QRect();
}

int ListBox::item_from_point(int x, int y) const {
  const QListWidgetItem* i = itemAt(x, y);
  return i ? row(i) : -1;
}

void ListBox::set_redraw(bool on) {
  setUpdatesEnabled(on);
  if (on) viewport()->update();
}

void ListBox::redraw_item(int index) {
  const QRect r = item_rect(index);
  if (!r.isEmpty()) viewport()->update(r);
}

void ListBox::paint_item(QPainter* painter, const QRect& rect, int index, uint32_t state) {
  DrawItem draw(DrawKind::ListItem, id());
  draw.item = index;
  draw.state = state;
  draw.rect = rect;
  draw.painter = painter;
  draw.widget = viewport();
  draw.text = item_text(index);
  draw.data = item_data(index);
  draw.host = host();
  draw.host_id = host()->host_id();
  painter->save();
  painter->setClipRect(rect);
  host()->control_draw(draw);
  painter->restore();
}

void ListBox::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  if (!owner_drawn()) return;
  // The owner also paints what lies below the last item.
  // Hidden rows have no place in the view: the last row shown ends the items.
  QRect rest = viewport()->rect();
  int last = count() - 1;
  while (last >= 0 && isRowHidden(last)) --last;
  if (last >= 0) rest.setTop(item_rect(last).bottom() + 1);
  if (rest.height() <= 0) return;
  QPainter painter(viewport());
  DrawItem draw(DrawKind::ListBackground, id());
  draw.rect = rest;
  draw.painter = &painter;
  draw.widget = viewport();
  draw.host = host();
  draw.host_id = host()->host_id();
  host()->control_draw(draw);
}

}  // namespace kw
