// The add dialog of the proxy selector.
#include "dialogs/new_proxy_dialog.h"

#include "dialogs/proxy_selector.h"
#include "proxies/proxy_selector_model.h"
#include "skin/skinned_dialog.h"
#include "ui/dialog.h"
#include "ui/help_request.h"

namespace kw {
namespace {

using enum ControlKind;

const ControlTemplate kNewProxyControls[] = {
    {kNewProxyField, Edit, "", 7, 7, 172, 12, kAutoScroll},
    {kIdOk, Button, "OK", 7, 25, 36, 14, kOwnerDraw},
    {kIdCancel, Button, "Cancel", 51, 25, 36, 14, kOwnerDraw},
};
const DialogTemplate kNewProxyTemplate{117, "Enter New Proxy server", 186, 46, 0, kNewProxyControls};

class NewProxyProc : public SkinnedDialogProc {
 public:
  explicit NewProxyProc(std::string* text) : SkinnedDialogProc(kFace2Texture), text_(text) {}

  void on_init(Dialog& d) override {
    d.set_limit(kNewProxyField, kProxyTextLimit);
    d.subclass(kNewProxyField);
  }

  void on_command(Dialog& d, int id, int code) override {
    if (code != kClicked && code != kAccelerator) return;
    if (id == kIdOk) {
      *text_ = d.text(kNewProxyField);
      d.end(1);
    } else if (id == kIdCancel) {
      d.end(2);
    }
  }

  void on_close(Dialog& d) override { d.end(2); }

  void on_help(Dialog&) override { request_help(kProxySelectorHelpTopic); }

  bool on_input(Dialog&, int, const InputEvent& event) override { return is_typed_space(event); }

 private:
  std::string* text_;
};

}  // namespace

bool is_typed_space(const InputEvent& event) {
  return event.kind == InputEvent::Char && event.ch == U' ';
}

bool ask_new_proxy(QWidget* owner, std::string* text) {
  NewProxyProc proc(text);
  return run_dialog(kNewProxyTemplate, proc, owner) == 1;
}

}  // namespace kw
