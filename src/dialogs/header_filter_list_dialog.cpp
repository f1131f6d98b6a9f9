// The header filter list's template and procedure.
#include "dialogs/header_filter_list_dialog.h"

#include "dialogs/filter_list_dialog.h"
#include "dialogs/header_filter_editor_dialog.h"
#include "filters/filter_editing.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr int kHelpTopic = 51;
constexpr int kCheckCell = 25;  // pixels at 96 dpi; "Out", then "In"

const ControlTemplate kControls[] = {
    {kNoId, Static, "Out", 10, 7, 12, 8, kCentred},
    {kNoId, Static, "In", 27, 7, 8, 8, kCentred},
    {kNoId, Static, "HTTP Message Header", 43, 7, 76, 8},
    {kFilterList, ListBox, "", 6, 17, 203, 98,
     kSorted | kHasStrings | kOwnerDraw | kExtendedSel | kNotify | kVScroll | kBorder},
    {kNoId, Static, "Options", 216, 7, 38, 8, kCentred},
    {1043, Frame, "", 216, 17, 38, 93, kEtched},
    {kFilterEditButton, Button, "&Edit", 221, 23, 27, 14, kOwnerDraw | kStartsDisabled},
    {kFilterNewButton, Button, "&New", 221, 39, 27, 14, kOwnerDraw},
    {kFilterDupeButton, Button, "&Dupe", 221, 55, 27, 14, kOwnerDraw | kStartsDisabled},
    {kFilterRemoveButton, Button, "&Delete", 221, 86, 27, 14, kOwnerDraw | kStartsDisabled},
    {kFilterListPanel, Frame, "", 6, 125, 203, 24, kClientEdge},
    {kIdOk, Button, "&OK", 11, 130, 50, 15, kOwnerDraw},
    {kIdCancel, Button, "&Cancel", 69, 130, 50, 15, kOwnerDraw},
};
const DialogTemplate kTemplate{kHeaderListTemplate, "HTTP Header Filters", 261, 162, 0, kControls};

constexpr char32_t kCtrlC = 3, kCtrlX = 24;

uint32_t direction_of_cell(int cell) { return cell == 1 ? HEADER_OUT : HEADER_IN; }

class HeaderFilterListProc : public FilterListProc {
 public:
  explicit HeaderFilterListProc(HeaderFilterListModel& model)
      : FilterListProc(model, 2, kCheckCell, kHelpTopic) {}

  void on_command(Dialog& d, int id, int code) override {
    if (on_list_command(d, id, code) || code != kClicked) return;
    switch (id) {
      case kFilterEditButton:
        edit_caret(d);
        break;
      case kFilterNewButton:
        add(d, EDIT_NEW);
        break;
      case kFilterDupeButton:
        add(d, EDIT_DUPLICATE);
        break;
      case kFilterRemoveButton:
        remove_selected(d);
        break;
      case kIdOk:
        if (install(d)) d.end(1);
        break;
      case kIdCancel:
        d.end(1);
        break;
      default:
        break;
    }
  }

 protected:
  bool cell_checked(const LinkPat* node, int cell) const override {
    return (HeaderFilterListModel::filter(node)->flags & direction_of_cell(cell)) != 0;
  }
  bool shows_bold(const LinkPat* node) const override {
    return (HeaderFilterListModel::filter(node)->flags & (HEADER_IN | HEADER_OUT)) != 0;
  }
  bool is_edited(const LinkPat* node) const override {
    return (HeaderFilterListModel::filter(node)->flags & HEADER_EDITED) != 0;
  }
  QString name_of(const LinkPat* node) const override {
    const HeaderFilter* f = HeaderFilterListModel::filter(node);
    return f->key != nullptr ? QString::fromLatin1(f->key.get()) : QString();
  }
  void toggle_cell(LinkPat* node, int cell) override {
    toggle_header_direction(HeaderFilterListModel::filter(node), direction_of_cell(cell));
  }

  bool on_list_char(Dialog& d, char32_t ch) override {
    switch (ch) {
      case kCtrlC:
      case kCtrlX:
        on_command(d, kFilterRemoveButton, kClicked);
        return true;
      case '1':
      case 'O':
      case 'o':
        toggle_selection(d, HEADER_OUT);
        return true;
      case '2':
      case 'I':
      case 'i':
        toggle_selection(d, HEADER_IN);
        return true;
      default:
        return !is_dialog_key(ch);  // every other character is discarded
    }
  }

  void* run_editor(Dialog& d, LinkPat* node, int mode) override {
    return edit_header_filter(&d, static_cast<HeaderFilterListModel&>(model_), node, mode);
  }

 private:
  void toggle_selection(Dialog& d, uint32_t direction) {
    std::vector<HeaderFilter*> filters;
    for (LinkPat* node : selected_nodes(d)) filters.push_back(HeaderFilterListModel::filter(node));
    toggle_header_directions(filters, direction);
    redraw_selected(d);
  }

  void remove_selected(Dialog& d) {
    const std::vector<int> selected = d.list(kFilterList)->selected_indices();
    if (selected.empty()) return;
    model_.discard(selected_nodes(d));
    refill(d, selected.front());
  }
};

}  // namespace

void open_header_filter_list(QWidget* owner) {
  HeaderFilterListModel model;
  HeaderFilterListProc proc(model);
  run_dialog(kTemplate, proc, owner);
}

}  // namespace kw
