// The web filter list's template and procedure.
#include "dialogs/web_filter_list_dialog.h"

#include "dialogs/filter_list_dialog.h"
#include "dialogs/web_filter_editor_dialog.h"
#include "filters/filter_editing.h"
#include "skin/textures.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr int kHelpTopic = 30;
constexpr int kCheckColumn = 30;  // pixels at 96 dpi

const ControlTemplate kControls[] = {
    {1055, Static, " Click checkbox to Activate/Deactivate filter", 6, 7, 141, 8},
    {1058, Static, "", 147, 5, 72, 8},
    {kFilterList, ListBox, "", 6, 17, 203, 98,
     kOwnerDraw | kExtendedSel | kNotify | kVScroll | kBorder},
    {1056, Static, "Options", 216, 7, 38, 8, kCentred},
    {1043, Frame, "", 216, 17, 38, 98, kEtched},
    {kFilterEditButton, Button, "&Edit", 221, 22, 27, 14, kOwnerDraw | kStartsDisabled},
    {kFilterNewButton, Button, "&New", 221, 38, 27, 14, kOwnerDraw},
    {kFilterDupeButton, Button, "&Dupe", 221, 54, 27, 14, kOwnerDraw | kStartsDisabled},
    {kFilterRemoveButton, Button, "C&ut", 221, 77, 27, 14, kOwnerDraw | kStartsDisabled},
    {kWebPasteButton, Button, "&Paste", 221, 93, 27, 14, kOwnerDraw | kStartsDisabled},
    {kFilterListPanel, Frame, "", 6, 125, 203, 24, kClientEdge},
    {kWebListOk, Button, "&OK", 13, 130, 50, 15, kOwnerDraw},
    {kIdCancel, Button, "&Cancel", 69, 130, 50, 15, kOwnerDraw},
    {kWebListApply, Button, "&Apply", 125, 130, 50, 15, kOwnerDraw | kStartsDisabled},
};
const DialogTemplate kTemplate{kWebListTemplate, " HTML Web Page Filters", 261, 157, 0, kControls};

// Control codes of typed characters.
constexpr char32_t kCtrlC = 3, kCtrlV = 22, kCtrlX = 24;

class WebFilterListProc : public FilterListProc {
 public:
  explicit WebFilterListProc(WebFilterListModel& model)
      : FilterListProc(model, 1, kCheckColumn, kHelpTopic) {}

  void on_draw_item(Dialog& d, DrawItem& item) override {
    // A disabled Apply continues the Inset panel it sits on.
    if (item.id == kWebListApply) {
      item.backdrop = &texture(kInsetTexture);
      item.backdrop_anchor = d.control_widget(kFilterListPanel);
    }
    FilterListProc::on_draw_item(d, item);
  }

  void on_command(Dialog& d, int id, int code) override {
    if (!on_list_command(d, id, code) && code == kClicked) {
      switch (id) {
        case kIdOk:
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
          cut(d);
          break;
        case kWebPasteButton:
          paste(d);
          break;
        case kWebListApply:
          if (install(d)) {
            d.enable(kWebPasteButton, false);
            d.redraw(kFilterList);
          }
          break;
        case kWebListOk:
          if (install(d)) d.end(1);
          break;
        case kIdCancel:
          d.end(1);
          break;
        default:
          break;
      }
    }
    if (!d.has_ended()) d.enable(kWebListApply, model_.list_changed());
  }

 protected:
  bool cell_checked(const LinkPat* node, int) const override { return active(node); }
  bool shows_bold(const LinkPat* node) const override { return active(node); }
  bool is_edited(const LinkPat* node) const override {
    return (node->web_filter()->flags & FILTER_EDITED) != 0;
  }
  // The list keeps no strings; the name is drawn from the record.
  QString name_of(const LinkPat* node) const override {
    const WebFilter* f = node->web_filter();
    return f->name != nullptr ? QString::fromLatin1(f->name.get()) : QString();
  }
  void toggle_cell(LinkPat* node, int) override { toggle_web_filter(node->web_filter()); }

  bool on_list_char(Dialog& d, char32_t ch) override {
    switch (ch) {
      case kCtrlC:
      case kCtrlX:
        on_command(d, kFilterRemoveButton, kClicked);
        return true;
      case kCtrlV:
        on_command(d, kWebPasteButton, kClicked);
        return true;
      case ' ':
      case '-':
      case '=':
        toggle_selection(d);
        return true;
      default:
        return !is_dialog_key(ch);  // every other character is discarded
    }
  }

  void on_right_button(Dialog& d) override { toggle_selection(d); }
  // The right button toggles the selection over an item; the menu comes with Shift held, or
  // below the items.
  bool right_button_opens_menu(Dialog& d, const InputEvent& e) override {
    return (e.modifiers & kKeyShift) != 0 || d.list(kFilterList)->item_from_point(e.x, e.y) < 0;
  }

  void* run_editor(Dialog& d, LinkPat* node, int mode) override {
    return edit_web_filter(&d, static_cast<WebFilterListModel&>(model_), node, mode);
  }

 private:
  static bool active(const LinkPat* node) {
    return (node->web_filter()->flags & FILTER_ACTIVE) != 0;
  }
  void toggle_selection(Dialog& d) {
    std::vector<WebFilter*> filters;
    for (LinkPat* node : selected_nodes(d)) filters.push_back(node->web_filter());
    toggle_web_filters(filters);
    redraw_selected(d);
  }

  void cut(Dialog& d) {
    const std::vector<int> selected = d.list(kFilterList)->selected_indices();
    if (selected.empty()) return;
    model_.cut(selected_nodes(d));
    refill(d, selected.front());
    d.enable(kWebPasteButton, true);
  }

  void paste(Dialog& d) {
    if (model_.cut_count() == 0) return;
    const int at = caret(d);
    model_.paste(caret_node(d));
    refill(d, at);
    d.enable(kWebPasteButton, false);
  }
};

}  // namespace

void open_web_filter_list(QWidget* owner) {
  WebFilterListModel model;
  WebFilterListProc proc(model);
  run_dialog(kTemplate, proc, owner);
}

}  // namespace kw
