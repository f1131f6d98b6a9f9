// The header filter editor's template and procedure.
#include "dialogs/header_filter_editor_dialog.h"

#include <string>

#include "dialogs/filter_editor_proc.h"
#include "filters/filter_editing.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr int kHelpTopic = 63;

// Field limits in characters; a field's text is read no longer than its limit.
constexpr int kNameLimit = 128;
constexpr int kTextLimit = 1024;  // matching condition and replacement

const ControlTemplate kControls[] = {
    {kIdOk, Button, "OK", 232, 8, 50, 14, kOwnerDraw},
    {kIdCancel, Button, "Cancel", 232, 27, 50, 14, kOwnerDraw},
    {kNoId, GroupBox, "", 8, 5, 207, 34},
    {kNoId, GroupBox, "", 8, 48, 275, 34},
    {kNoId, GroupBox, "", 8, 88, 275, 34},
    {1060, Static, "HTTP Header", 15, 5, 46, 8},
    {kHeaderNameField, Edit, "", 15, 18, 192, 12, kAutoScroll, kNameLimit},
    {1062, Static, "Matching condition", 15, 48, 61, 8},
    {kHeaderMatchField, Edit, "", 15, 61, 262, 12, kAutoScroll, kTextLimit},
    {1061, Static, "Replacement text", 15, 88, 56, 8},
    {kHeaderReplaceField, Edit, "", 15, 101, 261, 12, kAutoScroll, kTextLimit},
};
const DialogTemplate kTemplate{
    kHeaderEditorTemplate, "HTTP Header filter editor", 292, 135, 0, kControls};

constexpr int kFields[] = {kHeaderNameField, kHeaderMatchField, kHeaderReplaceField};

constexpr BuildMessage kMessages[] = {
    {kMissingHeader, "Must include a message header", "Stop right there!", kHeaderNameField},
    {-1, "Error in matching pattern\nCheck for mis-matched [] or ()", "Syntax Error",
     kHeaderMatchField},
    {0, "Unknown error adding new filter\nThis is probably a bug!", "What The ...", 0},
};

class HeaderFilterEditorProc
    : public FilterEditorProc<HeaderFilterListModel, HeaderFilter, HeaderFilterFields> {
 public:
  HeaderFilterEditorProc(HeaderFilterListModel& list, LinkPat* node, int mode)
      : FilterEditorProc(kHelpTopic, list, node, mode,
                         mode != EDIT_NEW && node != nullptr ? HeaderFilterListModel::filter(node)
                                                             : nullptr,
                         build_edited_header_filter, kMessages) {}

  void on_init(Dialog& d) override {
    for (int id : {1060, 1061, 1062}) d.make_owner_drawn(id);
    const HeaderFilterFields fields = header_filter_fields(source_);
    d.set_text(kHeaderNameField, fields.key);
    d.set_text(kHeaderMatchField, fields.match);
    d.set_text(kHeaderReplaceField, fields.replace);
    for (int id : kFields) d.set_modified(id, false);
  }

 private:
  bool unchanged(Dialog& d) const override { return !any_modified(d, kFields); }

  HeaderFilterFields read_fields(Dialog& d) const override {
    HeaderFilterFields fields;
    fields.key = field(d, kHeaderNameField, kNameLimit);
    fields.match = field(d, kHeaderMatchField, kTextLimit);
    fields.replace = field(d, kHeaderReplaceField, kTextLimit);
    return fields;
  }
};

}  // namespace

HeaderFilter* edit_header_filter(QWidget* owner, HeaderFilterListModel& list, LinkPat* node,
                                 int mode) {
  HeaderFilterEditorProc proc(list, node, mode);
  run_dialog(kTemplate, proc, owner);
  return proc.result();
}

}  // namespace kw
