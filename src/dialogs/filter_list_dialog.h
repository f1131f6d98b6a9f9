// What the web filter list and the header filter list share as dialogs: an owner-drawn list
// (1009) of fixed-height items, each a check column of one or more check cells and the filter's
// name, over the staged list of filter_list_model.h. The list is subclassed: a press in a check
// cell pushes that cell's box, and releasing the button inside the same item toggles it (moving
// out first changes nothing); a double click in the column toggles once more; typed characters
// and the right button go to the kind of list, unless the right button opens the list's menu.
// The selection enables "&Edit", "&Dupe" and the removing button; installs ask "Filters In Use!"
// while the list is in use. The skin paints the rest: the Background texture behind everything,
// panel 1057 with Inset, the other owner-drawn controls with Face Two.
//
// Each item shows at its right end how often its filter struck, nothing when it never did; the
// list repaints every second while the dialog is open, so the counts follow the running proxy.
// "Reset counts" in the list's menu sets every count to 0 at once, as a toggle acts at once:
// Cancel does not bring them back. User-interface thread only.
#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <optional>
#include <vector>

#include "filters/filter_list_model.h"
#include "skin/skinned_dialog.h"

namespace kw {

inline constexpr int kFilterList = 1009;
inline constexpr int kFilterEditButton = 1010;
inline constexpr int kFilterNewButton = 1011;
inline constexpr int kFilterDupeButton = 1012;
inline constexpr int kFilterRemoveButton = 1013;  // "C&ut", "&Delete"
inline constexpr int kFilterListPanel = 1057;

class FilterListProc : public SkinnedDialogProc {
 public:
  // Fonts, the subclassed list filled from working_list, the owner-drawn panel.
  void on_init(Dialog& d) override;
  QSize on_measure_item(Dialog& d, int id) override;
  bool on_input(Dialog& d, int id, const InputEvent& event) override;
  void on_draw_item(Dialog& d, DrawItem& item) override;
  void on_close(Dialog& d) override { d.end(1); }
  void on_help(Dialog& d) override;

 protected:
  // cells check cells of cell_width pixels each (at 96 dpi) start every item.
  FilterListProc(FilterListModel& model, int cells, int cell_width, int help_topic);

  // The kind of list: a cell's check mark (cells count from 1), bold names, greyed boxes, the
  // item's text (sorted lists are ordered by it), and toggling one cell of a record.
  virtual bool cell_checked(const LinkPat* node, int cell) const = 0;
  virtual bool shows_bold(const LinkPat* node) const = 0;
  virtual bool is_edited(const LinkPat* node) const = 0;
  virtual QString name_of(const LinkPat* node) const = 0;
  virtual void toggle_cell(LinkPat* node, int cell) = 0;
  // A typed character reached the list; true consumes it.
  virtual bool on_list_char(Dialog& d, char32_t ch) = 0;
  virtual void on_right_button(Dialog& d) {}
  // Whether a press of the right button at a point of the list opens the list's menu ("Reset
  // counts") instead of going to on_right_button.
  virtual bool right_button_opens_menu(Dialog& d, const InputEvent& event) { return true; }
  // The kind's editor in a mode, for a node (none: New on an empty list); the record it built.
  virtual void* run_editor(Dialog& d, LinkPat* node, int mode) = 0;

  // "&Edit", Enter in the web list, a double click: the caret item in the editor.
  void edit_caret(Dialog& d);
  // "&New" and "&Dupe": the editor's record goes in before the caret item.
  void add(Dialog& d, int mode);

  // The list's own notifications (selection, double click); false for any other control.
  bool on_list_command(Dialog& d, int id, int code);
  // Enter, Tab and Escape typed in the list go to the dialog.
  static bool is_dialog_key(char32_t ch) {
    return ch == '\r' || ch == '\n' || ch == '\t' || ch == 0x1B;
  }
  // Empties the list and fills it again from working_list, the caret on `caret`.
  void refill(Dialog& d, int caret);
  LinkPat* node_at(Dialog& d, int index) const;
  LinkPat* caret_node(Dialog& d) const;
  int caret(Dialog& d) const;
  std::vector<LinkPat*> selected_nodes(Dialog& d) const;
  // "&Edit", "&Dupe" and the removing button follow the selection.
  void show_selection_buttons(Dialog& d);
  // A double click: the check cell under the last pointer position in the column toggles,
  // or the caret item is edited.
  void on_list_double_click(Dialog& d);
  // Toggles a cell of the item at an index, or at a point of the list's client area.
  void toggle_item(Dialog& d, int index, int cell);
  void toggle_at(Dialog& d, QPoint where);
  void redraw_selected(Dialog& d);
  // Installs the staged list; false when the user went back from "Filters In Use!".
  bool install(Dialog& d);

  const QPixmap* owner_draw_texture(Dialog& d, int id) override;
  Anchor owner_draw_anchor(Dialog&, int) override { return kAnchorSelf; }

  FilterListModel& model_;

 private:
  int px(Dialog& d, int pixels) const;
  int column_width(Dialog& d) const { return px(d, cells_ * cell_width_); }
  int cell_at(Dialog& d, int x) const;
  void draw_list_item(Dialog& d, DrawItem& item);
  void draw_below_items(Dialog& d, DrawItem& item);
  // The list's menu at a screen position, run until it closes.
  void popup_list_menu(Dialog& d, QPoint global);

  const int cells_;
  const int cell_width_;
  const int help_topic_;
  QFont normal_font_;
  QFont bold_font_;
  int pressed_item_ = 0;    // index + 1 of the item whose check box is held down, 0 for none
  int pressed_column_ = 0;  // its cell, from 1
  QRect pressed_rect_;
  std::optional<QPoint> check_column_point_;  // the last pointer position over the column
};

}  // namespace kw
