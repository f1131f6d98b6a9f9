// The web filter editor's template and procedure.
#include "dialogs/web_filter_editor_dialog.h"

#include <cmath>
#include <string>

#include "dialogs/filter_editor_proc.h"
#include "dialogs/web_filter_try_dialog.h"
#include "filters/filter_editing.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr int kHelpTopic = 31;
constexpr int kFixedFontHeight = 12;  // pixels at 96 dpi

// Field limits in characters; a field's text is read no longer than its limit.
constexpr int kNameLimit = 80;
constexpr int kUrlLimit = 1023;
constexpr int kBoundsLimit = 256;
constexpr int kByteLimitDigits = 5;
constexpr int kTextLimit = 1023;  // matching expression and replacement

const ControlTemplate kControls[] = {
    {kIdOk, Button, "OK", 245, 7, 50, 14, kOwnerDraw},
    {kIdCancel, Button, "Cancel", 245, 24, 50, 14, kOwnerDraw},
    {kNoId, GroupBox, "", 10, 4, 223, 31},
    {1052, Static, "Filter Name", 18, 4, 36, 8, kCentred},
    {kWebNameField, Edit, "", 17, 15, 208, 12, kAutoScroll, kNameLimit},
    {kNoId, GroupBox, "", 10, 39, 293, 65},
    {1053, Static, "Scope", 16, 38, 22, 8, kCentred},
    {kWebMultiCheck, CheckBox, "Allow for multiple matches ", 201, 47, 98, 11},
    {1045, Static, "URL Match", 17, 50, 38, 8},
    {kWebUrlField, Edit, "", 17, 60, 278, 12, kAutoScroll, kUrlLimit},
    {1049, Static, "Bounds Match", 17, 75, 47, 8},
    {kWebBoundsField, Edit, "", 17, 84, 220, 12, kAutoScroll, kBoundsLimit},
    {1050, Static, "Byte Limit", 245, 75, 31, 8},
    {kWebLimitField, Edit, "", 245, 84, 50, 12, kDigitsOnly | kAutoScroll, kByteLimitDigits},
    {kNoId, GroupBox, "", 10, 108, 293, 105},
    {1054, Static, "Search and Replace", 17, 108, 66, 8, kCentred},
    {1046, Static, "Matching Expression", 17, 118, 66, 8},
    {kWebMatchField, Edit, "", 17, 127, 278, 32, kMultiLine | kVScroll, kTextLimit},
    {1047, Static, "Replacement Text", 17, 164, 59, 8},
    {kWebReplaceField, Edit, "", 17, 173, 278, 32, kMultiLine | kVScroll, kTextLimit},
    {kWebTryButton, Button, "Try", 253, 218, 50, 14, kOwnerDraw},
};
const DialogTemplate kTemplate{kWebEditorTemplate, "HTML Web Page Filter Editor", 312, 238, 0,
                               kControls};

constexpr int kFields[] = {kWebNameField,  kWebUrlField,     kWebBoundsField,
                           kWebMatchField, kWebReplaceField, kWebLimitField};

// What a failed build tells the user, and where the focus goes.
constexpr BuildMessage kMessages[] = {
    {kMissingMatch, "Must include a matching expression", "There's nothing to match!",
     kWebMatchField},
    {-1, "Error in URL's matching pattern\nCheck for mis-matched [] or ()", "Syntax Error",
     kWebUrlField},
    {-2, "Error in Matching Expression\nCheck for mis-matched [] or ()", "Syntax Error",
     kWebMatchField},
    {-3, "Error in bounds expression\nCheck for mis-matched [] or ()", "Syntax Error",
     kWebBoundsField},
    {0, "Unknown error adding new pattern\nThis is probably a bug!", "What The ...", 0},
};

class WebFilterEditorProc
    : public FilterEditorProc<WebFilterListModel, WebFilter, WebFilterFields> {
 public:
  WebFilterEditorProc(WebFilterListModel& list, LinkPat* node, int mode)
      : FilterEditorProc(kHelpTopic, list, node, mode,
                         mode != EDIT_NEW && node != nullptr ? node->web_filter() : nullptr,
                         build_edited_web_filter, kMessages),
        try_window_(kMessages) {}

  // The try window follows every change of the fields.
  void on_command(Dialog& d, int id, int code) override {
    if (id == kWebTryButton && code == kClicked) {
      try_window_.open(&d, read_fields(d));
    } else if ((code == kEditChange && id != kWebNameField) ||
               (id == kWebMultiCheck && code == kClicked)) {
      try_window_.try_fields(read_fields(d));
    }
    FilterEditorProc::on_command(d, id, code);
  }

  void on_init(Dialog& d) override {
    for (int id : {1052, 1053, 1054}) d.make_owner_drawn(id);
    const QFont fixed =
        fixed_font(static_cast<int>(std::lround(kFixedFontHeight * d.units().scale())));
    d.set_font(kWebMatchField, fixed);
    d.set_font(kWebReplaceField, fixed);
    const WebFilterFields fields = web_filter_fields(source_);
    d.set_text(kWebNameField, fields.name);
    d.set_text(kWebUrlField, fields.url);
    d.set_text(kWebBoundsField, fields.bounds);
    d.set_uint(kWebLimitField, fields.limit);
    d.set_text(kWebMatchField, fields.match);
    d.set_text(kWebReplaceField, fields.replace);
    d.check(kWebMultiCheck, fields.multi);
    for (int id : kFields) d.set_modified(id, false);
  }

 private:
  bool unchanged(Dialog& d) const override {
    return !any_modified(d, kFields) &&
           d.is_checked(kWebMultiCheck) == ((source_->flags & FILTER_MULTI) != 0);
  }

  WebFilterFields read_fields(Dialog& d) const override {
    WebFilterFields fields;
    fields.name = field(d, kWebNameField, kNameLimit);
    fields.url = field(d, kWebUrlField, kUrlLimit);
    fields.bounds = field(d, kWebBoundsField, kBoundsLimit);
    fields.match = field(d, kWebMatchField, kTextLimit);
    fields.replace = field(d, kWebReplaceField, kTextLimit);
    fields.limit = d.get_uint(kWebLimitField);
    fields.multi = d.is_checked(kWebMultiCheck);
    return fields;
  }

  TryFilterWindow try_window_;
};

}  // namespace

WebFilter* edit_web_filter(QWidget* owner, WebFilterListModel& list, LinkPat* node, int mode) {
  WebFilterEditorProc proc(list, node, mode);
  run_dialog(kTemplate, proc, owner);
  return proc.result();
}

}  // namespace kw
