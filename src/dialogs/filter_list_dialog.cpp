// The list machinery both filter list dialogs share; see filter_list_dialog.h.
#include "dialogs/filter_list_dialog.h"

#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "base/settings.h"
#include "dialogs/message_dialogs.h"
#include "engine/listener.h"
#include "filters/filter_editing.h"
#include "report/frontend.h"
#include "skin/textures.h"
#include "ui/help_request.h"
#include "ui/system_colours.h"

namespace kw {
namespace {

// Pixel metrics of the items at 96 dpi.
constexpr int kItemHeight = 17;
constexpr int kNameIndent = 4;  // from the check column to the name
constexpr int kNameTop = 2;
constexpr int kBoxInset = 2;       // the check box inside its cell, top and bottom
constexpr int kButtonSliceX = 20;  // where the check column's slice of the Button texture starts
constexpr int kCountRight = 4;     // from the count's end to the item's right end
constexpr int kCountGap = 6;       // at least this much between a name and the count
constexpr int kCountRefreshMs = 1000;

// A standard check box in the middle of `cell`: a sunken square, white (the face colour while
// pushed or greyed) with a black (greyed: grey) check mark.
void draw_check_box(QPainter& p, const QRect& cell, bool checked, bool greyed, bool pushed) {
  const int side = std::min(cell.width(), cell.height());
  QRect box(cell.left() + (cell.width() - side) / 2, cell.top() + (cell.height() - side) / 2, side,
            side);
  const QRect inside = draw_edge(p, box, kEdgeSunken);
  p.fillRect(inside, sys_colour(pushed || greyed ? SysColour::ButtonFace : SysColour::Window));
  if (!checked) return;
  const double u = inside.width() / 9.0;
  const QPointF o = inside.topLeft();
  QPen pen(sys_colour(greyed ? SysColour::GrayText : SysColour::WindowText));
  pen.setWidthF(std::max(1.0, 1.6 * u));
  pen.setCapStyle(Qt::FlatCap);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(pen);
  const QPointF tick[] = {o + QPointF(1.8 * u, 4.4 * u), o + QPointF(3.8 * u, 6.5 * u),
                          o + QPointF(7.4 * u, 2.4 * u)};
  p.drawPolyline(tick, 3);
  p.restore();
}

}  // namespace

FilterListProc::FilterListProc(FilterListModel& model, int cells, int cell_width, int help_topic)
    : SkinnedDialogProc(kBackTexture),
      model_(model),
      cells_(cells),
      cell_width_(cell_width),
      help_topic_(help_topic) {}

int FilterListProc::px(Dialog& d, int pixels) const {
  return static_cast<int>(std::lround(pixels * d.units().scale()));
}

QSize FilterListProc::on_measure_item(Dialog& d, int) { return QSize(16, px(d, kItemHeight)); }

void FilterListProc::on_help(Dialog&) { request_help(help_topic_); }

void FilterListProc::on_init(Dialog& d) {
  normal_font_ = d.font();
  bold_font_ = normal_font_;
  bold_font_.setBold(true);
  d.make_owner_drawn(kFilterListPanel);
  d.subclass(kFilterList);
  // The list hears the pointer move over the check column without a button held, too.
  ListBox* list = d.list(kFilterList);
  list->viewport()->setMouseTracking(true);
  auto* refresh = new QTimer(list);
  QObject::connect(refresh, &QTimer::timeout, list->viewport(),
                   [list] { list->viewport()->update(); });
  refresh->start(kCountRefreshMs);
  refill(d, 0);
}

void FilterListProc::popup_list_menu(Dialog& d, QPoint global) {
  QMenu menu(d.list(kFilterList));
  QAction* reset = menu.addAction(QStringLiteral("Reset counts"));
  if (menu.exec(global) != reset) return;
  model_.reset_counts();
  d.redraw(kFilterList);
}

void FilterListProc::refill(Dialog& d, int caret) {
  ListBox* list = d.list(kFilterList);
  list->set_redraw(false);
  list->reset_content();
  for (LinkPat* n = model_.working_list(); n != nullptr; n = n->next) {
    list->add_string(name_of(n), reinterpret_cast<uintptr_t>(n));
  }
  if (list->count() > 0) list->set_caret_index(std::clamp(caret, 0, list->count() - 1));
  list->set_redraw(true);
  show_selection_buttons(d);
}

LinkPat* FilterListProc::node_at(Dialog& d, int index) const {
  ListBox* list = d.list(kFilterList);
  if (index < 0 || index >= list->count()) return nullptr;
  return reinterpret_cast<LinkPat*>(list->item_data(index));
}

int FilterListProc::caret(Dialog& d) const { return d.list(kFilterList)->caret_index(); }

LinkPat* FilterListProc::caret_node(Dialog& d) const { return node_at(d, caret(d)); }

std::vector<LinkPat*> FilterListProc::selected_nodes(Dialog& d) const {
  std::vector<LinkPat*> nodes;
  for (int index : d.list(kFilterList)->selected_indices()) nodes.push_back(node_at(d, index));
  return nodes;
}

void FilterListProc::show_selection_buttons(Dialog& d) {
  const bool any = d.list(kFilterList)->selected_count() > 0;
  for (int id : {kFilterEditButton, kFilterDupeButton, kFilterRemoveButton}) d.enable(id, any);
}

void FilterListProc::redraw_selected(Dialog& d) {
  ListBox* list = d.list(kFilterList);
  for (int index : list->selected_indices()) list->redraw_item(index);
}

int FilterListProc::cell_at(Dialog& d, int x) const {
  return std::clamp(x / std::max(1, px(d, cell_width_)) + 1, 1, cells_);
}

void FilterListProc::toggle_item(Dialog& d, int index, int cell) {
  LinkPat* node = node_at(d, index);
  if (node == nullptr) return;
  toggle_cell(node, cell);
  d.list(kFilterList)->redraw_item(index);
}

void FilterListProc::toggle_at(Dialog& d, QPoint where) {
  toggle_item(d, d.list(kFilterList)->item_from_point(where.x(), where.y()), cell_at(d, where.x()));
}

void FilterListProc::edit_caret(Dialog& d) {
  LinkPat* node = caret_node(d);
  if (node == nullptr || run_editor(d, node, EDIT_EXISTING) == nullptr) return;
  model_.mark_changed();
  ListBox* list = d.list(kFilterList);
  if (list->control_style() & kSorted) {
    // A new name may have another place: the items are sorted again, and the edited item and
    // the selection move with their filters.
    const std::vector<LinkPat*> selected = selected_nodes(d);
    refill(d, caret(d));
    for (int i = 0; i < list->count(); ++i) {
      LinkPat* n = node_at(d, i);
      if (n == node) list->set_caret_index(i);
      if (std::find(selected.begin(), selected.end(), n) != selected.end()) {
        list->set_selected(i, true);
      }
    }
    show_selection_buttons(d);
  } else {
    list->redraw_item(caret(d));
  }
}

void FilterListProc::add(Dialog& d, int mode) {
  LinkPat* at = caret_node(d);
  if (mode == EDIT_DUPLICATE && at == nullptr) return;
  void* made = run_editor(d, at, mode);
  if (made == nullptr) return;
  const int old_caret = caret(d);
  model_.insert_before(at, made);
  refill(d, old_caret > 0 ? old_caret - 1 : old_caret);
  d.focus(kFilterList);
}

bool FilterListProc::on_list_command(Dialog& d, int id, int code) {
  if (id != kFilterList) return false;
  if (code == kListSelChange) show_selection_buttons(d);
  if (code == kListDoubleClick) on_list_double_click(d);
  return true;
}

void FilterListProc::on_list_double_click(Dialog& d) {
  if (check_column_point_) {
    toggle_at(d, *check_column_point_);
  } else {
    edit_caret(d);
  }
}

bool FilterListProc::on_input(Dialog& d, int id, const InputEvent& e) {
  if (id != kFilterList) return false;
  ListBox* list = d.list(kFilterList);
  switch (e.kind) {
    case InputEvent::KeyDown:
      return false;
    case InputEvent::Char:
      return on_list_char(d, e.ch);
    case InputEvent::RightDown:
      if (right_button_opens_menu(d, e)) {
        popup_list_menu(d, list->viewport()->mapToGlobal(QPoint(e.x, e.y)));
      } else {
        on_right_button(d);
      }
      return true;  // the selection stays as it is
    default:
      break;
  }
  const QPoint where(e.x, e.y);
  const bool in_column = e.x < column_width(d);
  if (in_column) {
    check_column_point_ = where;
  } else {
    check_column_point_.reset();
  }
  switch (e.kind) {
    case InputEvent::MouseMove:
      return pressed_item_ != 0;  // no drag selection while a box is held
    case InputEvent::LeftDown: {
      if (!in_column || list->count() == 0) return false;
      const int index = list->item_from_point(e.x, e.y);
      if (index < 0) return true;
      pressed_rect_ = list->item_rect(index);
      pressed_column_ = cell_at(d, e.x);
      pressed_item_ = index + 1;
      list->redraw_item(index);
      return true;
    }
    case InputEvent::LeftUp:
      if (pressed_item_ == 0) return false;
      if (pressed_rect_.contains(where, true)) {
        toggle_item(d, list->item_from_point(e.x, e.y), pressed_column_);
      }
      pressed_item_ = 0;
      pressed_column_ = 0;
      list->viewport()->update(pressed_rect_);
      settings_add_flags(Changed);
      return true;
    case InputEvent::LeftDoubleClick:
      if (!in_column || list->count() == 0) return false;
      toggle_at(d, where);
      return true;
    default:
      return false;
  }
}

void FilterListProc::on_draw_item(Dialog& d, DrawItem& item) {
  if (item.id == kFilterList && item.kind == DrawKind::ListItem) return draw_list_item(d, item);
  if (item.id == kFilterList && item.kind == DrawKind::ListBackground) {
    return draw_below_items(d, item);
  }
  SkinnedDialogProc::on_draw_item(d, item);
}

void FilterListProc::draw_list_item(Dialog& d, DrawItem& item) {
  if (item.state == kStateDisabled) return;
  const LinkPat* node = reinterpret_cast<const LinkPat*>(item.data);
  if (node == nullptr) return;
  QPainter& p = *item.painter;
  const QRect r = item.rect;
  const int column = column_width(d);
  const QRect text_area(r.left() + column, r.top(), r.width() - column, r.height());
  const bool selected = (item.state & kStateSelected) != 0;
  if (selected) {
    p.fillRect(r, sys_colour(SysColour::Highlight));
    draw_edge(p, text_area, kRaisedOuter, kSideLeft | kSideTop | kSideBottom);
  } else {
    p.fillRect(r, sys_colour(SysColour::Window));
    draw_edge(p, r, kSunkenInner, kSideBottom);
    p.drawPixmap(QRect(r.left(), r.top(), column, r.height()), texture(kButtonTexture),
                 QRect(kButtonSliceX, 0, cells_ * cell_width_, kItemHeight));
  }
  p.setPen(sys_colour(selected ? SysColour::HighlightText : SysColour::WindowText));
  p.setFont(shows_bold(node) ? bold_font_ : normal_font_);
  QRect name_area = text_area.adjusted(px(d, kNameIndent), px(d, kNameTop), 0, 0);
  if (const uint64_t hits = model_.hits(node); hits > 0) {
    // The count ends near the item's right end; a long name is cut short of it.
    const QString count = QString::number(hits);
    const QRect count_area = name_area.adjusted(0, 0, -px(d, kCountRight), 0);
    p.drawText(count_area, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, count);
    name_area.setRight(count_area.right() - p.fontMetrics().horizontalAdvance(count) -
                       px(d, kCountGap));
  }
  p.drawText(name_area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name_of(node));
  const bool edited = is_edited(node);
  for (int cell = 1; cell <= cells_; ++cell) {
    const int left = r.left() + (cell - 1) * px(d, cell_width_);
    const int right = cell == cells_ ? r.left() + column : left + px(d, cell_width_);
    const QRect cell_rect(left, r.top(), right - left, r.height());
    draw_edge(p, cell_rect, selected ? kRaisedOuter : kRaisedInner);
    const bool pushed = pressed_item_ == item.item + 1 && pressed_column_ == cell;
    draw_check_box(p, cell_rect.adjusted(0, px(d, kBoxInset), 0, -px(d, kBoxInset)),
                   cell_checked(node, cell), edited, pushed);
  }
}

void FilterListProc::draw_below_items(Dialog& d, DrawItem& item) {
  QPainter& p = *item.painter;
  const QRect r = item.rect;
  if (d.list(kFilterList)->count() == 0) {
    tile_texture(item.widget, p, r, texture(kBackTexture), anchor_to(d.client_area()));
    return;
  }
  const int column = column_width(d);
  p.fillRect(QRect(r.left() + column, r.top(), r.width() - column, r.height()),
             sys_colour(SysColour::ButtonFace));
  p.fillRect(QRect(r.left(), r.top(), column, r.height()), sys_colour(SysColour::ButtonShadow));
  p.setPen(Qt::black);
  p.drawLine(r.left(), r.top(), r.left() + column, r.top());
}

const QPixmap* FilterListProc::owner_draw_texture(Dialog&, int id) {
  return &texture(id == kFilterListPanel ? kInsetTexture : kFace2Texture);
}

bool FilterListProc::install(Dialog& d) {
  const InUseQuestion ask = [&d](const ButtonAnswer& answer) {
    return ask_filters_in_use(&d, answer);
  };
  const bool installed = model_.install(ask, restart_listener) == 1;
  if (!model_.count_mismatch().empty()) show_application_error(model_.count_mismatch().c_str());
  return installed;
}

}  // namespace kw
