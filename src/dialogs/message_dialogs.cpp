// The five message dialogs' templates and their shared procedure.
#include "dialogs/message_dialogs.h"

#include <QPainter>

#include "report/frontend.h"
#include "skin/builtin_art.h"
#include "skin/skinned_dialog.h"
#include "skin/textures.h"
#include "ui/dialog.h"
#include "ui/resources.h"
#include "ui/text.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr int kIconFrame = 1078;
constexpr int kAboutFrame = 1088;
constexpr int kAboutPanel = 1087;

const ControlTemplate kAboutControls[] = {
    {kAboutFrame, Frame, "", 107, 7, 126, 76, kSunken},
    {kAboutPanel, Frame, "", 112, 11, 116, 64},
    {kNoId, Static, "Kestrelwick - Universal Web Filter", 116, 16, 107, 8},
    {kNoId, Static, "Version: Lyra-2", 116, 25, 100, 8},
    {kNoId, Picture, "", 7, 7, 91, 77, 0, 0, kAboutBitmap},
    {kMessageOk, Button, "OK", 140, 56, 59, 14, kOwnerDraw},
};
const DialogTemplate kAboutTemplate{147, "About the Kestrelwick", 240, 90, 0, kAboutControls};

const ControlTemplate kMessageControls[] = {
    {kMessageIconControl, Icon, "", 11, 9, 25, 23},
    {kMessageText, Static, "", 44, 7, 132, 26},
    {kMessageOk, Button, "&Ok", 62, 36, 59, 14, kOwnerDraw},
};
const DialogTemplate kMessageTemplate{135, "Title", 183, 57, kDialogCentred, kMessageControls};

const ControlTemplate kActiveConnectionsControls[] = {
    {kNoId, GroupBox, "", 7, 3, 215, 67},
    {kIconFrame, Frame, "", 14, 18, 40, 42},
    {kMessageIconControl, Icon, "", 24, 29, 20, 20},
    {kNoId, Static, "There are currently connections active", 65, 13, 122, 8},
    {kNoId, Static,
     "A new configuration can't be loaded while connections are still active. Press stop on "
     "your web browser and  wait for the connection count to reach zero, then press \"Retry\". "
     "If that fails, use the \"Kill Connections\" button.",
     65, 23, 151, 42},
    {kRetryButton, Button, "&Retry", 7, 77, 59, 14, kOwnerDraw},
    {kKillButton, Button, "&Kill Connections", 86, 77, 59, 14, kOwnerDraw},
    {kMessageOk, Button, "&Go Back", 163, 77, 59, 14, kOwnerDraw},
};
const DialogTemplate kActiveConnectionsTemplate{
    134, "Active Connections - Can't load configuration", 229, 98, 0, kActiveConnectionsControls};

const ControlTemplate kFiltersInUseControls[] = {
    {kNoId, GroupBox, "", 7, 3, 207, 59},
    {kIconFrame, Frame, "", 14, 13, 40, 42},
    {kMessageIconControl, Icon, "", 24, 24, 20, 20},
    {kNoId, Static, "Filters are currently in use.", 65, 13, 82, 8},
    {kNoId, Static,
     "Filters can't be updated until all connections using them have finished. Wait a bit, or "
     "press stop on your browser then try again. Use Kill Connections if all else fails.",
     65, 23, 140, 34},
    {kRetryButton, Button, "&Retry", 7, 69, 59, 14, kOwnerDraw},
    {kKillButton, Button, "&Kill Connections", 81, 69, 59, 14, kOwnerDraw},
    {kMessageOk, Button, "&Go Back", 155, 69, 59, 14, kOwnerDraw},
};
const DialogTemplate kFiltersInUseTemplate{133, "Filters In Use!",    221, 90,
                                           0,   kFiltersInUseControls};

const ControlTemplate kSaveChangesControls[] = {
    {kNoId, GroupBox, "", 7, 3, 187, 45},
    {kMessageIconControl, Icon, "", 18, 15, 20, 20},
    {kNoId, Static, "Some program settings have changed.", 55, 13, 122, 8},
    {kNoId, Static, "Do you want to save those changes to the current configuration file?", 55, 23,
     128, 19},
    {kMessageOk, Button, "&Save Changes", 7, 55, 59, 14, kOwnerDraw},
    {kForgetButton, Button, "&Forget Changes", 71, 55, 59, 14, kOwnerDraw},
    {kDontQuitButton, Button, "&Don't Quit", 135, 55, 59, 14, kOwnerDraw},
};
const DialogTemplate kSaveChangesTemplate{132, "Save Configuration Changes", 201, 76,
                                          0,   kSaveChangesControls};

// The procedure the five dialogs share.
class MessageDialogProc : public SkinnedDialogProc {
 public:
  explicit MessageDialogProc(MessageDialogData& data)
      : SkinnedDialogProc(kFace1Texture), data_(data) {}

  void on_init(Dialog& d) override {
    data_.window = &d;
    for (int id : {kMessageIconControl, kIconFrame, kAboutFrame, kAboutPanel}) {
      d.make_owner_drawn(id);
    }
    if (data_.caption) d.set_title(data_.caption);
    if (data_.text && d.exists(kMessageText)) {
      d.set_text(kMessageText, data_.text);
      fit_message(d);
    }
  }

  void on_command(Dialog& d, int id, int code) override {
    if (code != kClicked) return;
    if (id == kIdOk || id == kMessageOk) {
      data_.result = 1;
    } else if (id == kForgetButton) {
      data_.result = 2;
    } else if (id == kDontQuitButton) {
      data_.result = 3;
    } else if (data_.handler) {
      data_.result = data_.handler(id);
    }
    if (data_.result != 0) d.end(data_.result);
  }

  void on_close(Dialog& d) override { d.end(data_.result); }

  void on_draw_item(Dialog& d, DrawItem& item) override {
    if (item.id == kMessageIconControl) {
      item.painter->drawPixmap(item.rect.topLeft(), load_icon(data_.icon));
      return;
    }
    SkinnedDialogProc::on_draw_item(d, item);
  }

 protected:
  const QPixmap* owner_draw_texture(Dialog&, int id) override {
    if (id == kIconFrame) return &texture(kInsetTexture);
    if (id == kAboutFrame) return &texture(kBackTexture);
    return &texture(kFace1Texture);
  }

  Anchor owner_draw_anchor(Dialog&, int) override { return kAnchorSelf; }

 private:
  // A message longer than the template's place would be cut off: the place grows downwards,
  // and what lies below it (the button) moves down with the dialog's bottom edge.
  void fit_message(Dialog& d) {
    const QRect place = d.control_rect(kMessageText);
    const int needed = wrapped_text_height(d.control_widget(kMessageText)->font(), place.width(),
                                           from_8bit(data_.text));
    const int grow = needed - place.height();
    if (grow <= 0) return;
    for (const ControlTemplate& c : d.dialog_template().controls) {
      if (c.id == kNoId || c.id == kMessageText) continue;
      QRect r = d.control_rect(c.id);
      if (r.top() >= place.bottom()) d.set_control_rect(c.id, r.translated(0, grow));
    }
    d.set_control_rect(kMessageText, place.adjusted(0, 0, 0, grow));
    d.set_client_size(d.client_size() + QSize(0, grow));
  }

  MessageDialogData& data_;
};

int run_message_dialog(const DialogTemplate& t, QWidget* owner, MessageDialogData& data) {
  MessageDialogProc proc(data);
  return run_dialog(t, proc, owner);
}

// The in-use questions answer in the report's codes, not in control ids.
ButtonHandler answering_in_codes(ButtonHandler handler) {
  if (!handler) return handler;
  return [handler = std::move(handler)](int control) {
    const int answer = control == kRetryButton  ? kAnswerRetry
                       : control == kKillButton ? kAnswerKillConnections
                                                : 0;
    return answer != 0 ? handler(answer) : 0;
  };
}

}  // namespace

int show_about(QWidget* owner) {
  MessageDialogData data;
  data.icon = kProgramIcon;
  return run_message_dialog(kAboutTemplate, owner, data);
}

int show_message(QWidget* owner, const char* text, const char* caption, int icon) {
  MessageDialogData data;
  data.icon = icon;
  data.text = text;
  data.caption = caption;
  return run_message_dialog(kMessageTemplate, owner, data);
}

int ask_active_connections(QWidget* owner, ButtonHandler handler) {
  MessageDialogData data;
  data.icon = kProgramIcon;
  data.handler = answering_in_codes(std::move(handler));
  return run_message_dialog(kActiveConnectionsTemplate, owner, data);
}

int ask_filters_in_use(QWidget* owner, ButtonHandler handler) {
  MessageDialogData data;
  data.icon = kProgramIcon;
  data.handler = answering_in_codes(std::move(handler));
  return run_message_dialog(kFiltersInUseTemplate, owner, data);
}

int ask_save_changes(QWidget* owner) {
  MessageDialogData data;
  data.icon = kProgramIcon;
  return run_message_dialog(kSaveChangesTemplate, owner, data);
}

void show_application_error_box(QWidget* owner, const char* text) {
  show_message(owner, text, "Kestrelwick Application Error", kIconExclamation);
}

}  // namespace kw
