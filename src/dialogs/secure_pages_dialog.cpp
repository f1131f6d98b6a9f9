// The "Secure pages" dialog: its template and its procedure.
#include "dialogs/secure_pages_dialog.h"

#include <algorithm>
#include <optional>
#include <string>

#include "dialogs/file_dialog.h"
#include "dialogs/message_dialogs.h"
#include "engine/listener.h"
#include "filters/filter_list_model.h"
#include "secure/interception.h"
#include "secure/secure_pages.h"
#include "skin/skinned_dialog.h"
#include "ui/dialog.h"
#include "ui/help_request.h"
#include "ui/text.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr int kSecurePagesTemplateId = 139;
constexpr int kHelpTopic = 90;  // "Secure pages"

const ControlTemplate kSecurePagesControls[] = {
    {kSecureInspectCheck, CheckBox, "&Inspect secure pages", 7, 7, 150, 10},
    {kNoId, Static,
     "While this is on, the proxy opens secure (https) pages and filters them like plain ones. "
     "It shows the browser certificates of its own authority, made on this computer for you "
     "alone, so the browser must be told to trust that authority: export its certificate and "
     "import it there. Sites in the list below pass through untouched.",
     7, 20, 216, 42},
    {kNoId, Static, "Pass-through hosts (*.name covers the subdomains)", 7, 66, 216, 8},
    {kSecureHostList, ListBox, "", 7, 76, 158, 58, kNotify | kVScroll | kBorder},
    {kSecureDeleteButton, Button, "&Delete", 173, 76, 50, 14, kOwnerDraw | kStartsDisabled},
    {kSecureHostField, Edit, "", 7, 138, 158, 12, kAutoScroll,
     static_cast<int>(kPassThroughEntryLimit)},
    {kSecureAddButton, Button, "&Add", 173, 137, 50, 14, kOwnerDraw | kStartsDisabled},
    {kNoId, EtchedLine, "", 7, 157, 216, 1},
    {kSecureExportButton, Button, "&Export certificate...", 7, 163, 80, 14, kOwnerDraw},
    {kSecureExportResult, Static, "", 93, 163, 130, 24},
    {kIdOk, Button, "&OK", 118, 192, 50, 14, kOwnerDraw},
    {kIdCancel, Button, "&Cancel", 173, 192, 50, 14, kOwnerDraw},
};
const DialogTemplate kSecurePagesTemplate{kSecurePagesTemplateId, "Secure pages", 230, 213, 0,
                                          kSecurePagesControls};

// The pass-through hosts are read by connection threads without a lock, so they are replaced
// only under the connection lock while no connection is active. This guard lets the filter
// lists' in-use question wait for that.
std::optional<ConnectionLock> held_connection_lock;

int connection_lock_op(int code) {
  if (code == 2) {
    held_connection_lock.emplace();
  } else {
    held_connection_lock.reset();
  }
  return 1;
}

int active_connections(int) { return active_connection_count(); }

constexpr ListGuard kConnectionGuard{connection_lock_op, active_connections};

class SecurePagesProc : public SkinnedDialogProc {
 public:
  SecurePagesProc() : SkinnedDialogProc(kBackTexture), fields_(secure_pages_fields()) {}

  void on_init(Dialog& d) override {
    d.check(kSecureInspectCheck, fields_.inspect);
    auto* list = d.list(kSecureHostList);
    for (const std::string& host : fields_.hosts) list->add_string(from_8bit(host));
    d.subclass(kSecureHostField);
  }

  void on_command(Dialog& d, int id, int code) override {
    if (id == kSecureHostField && code == kEditChange) {
      d.enable(kSecureAddButton, !pass_through_entry(d.text(kSecureHostField)).empty());
      return;
    }
    if (id == kSecureHostList && code == kListSelChange) {
      follow_selection(d);
      return;
    }
    if (code != kClicked && code != kAccelerator) return;
    switch (id) {
      case kSecureAddButton:
        add(d);
        return;
      case kSecureDeleteButton:
        remove(d);
        return;
      case kSecureExportButton:
        export_certificate(d);
        return;
      case kIdOk:
        store(d);
        return;
      case kIdCancel:
        d.end(0);
        return;
      default:
        return;
    }
  }

  void on_help(Dialog&) override { request_help(kHelpTopic); }

  // Enter in the host field adds the host instead of ending the dialog.
  bool on_input(Dialog& d, int id, const InputEvent& event) override {
    if (id != kSecureHostField || event.kind != InputEvent::KeyDown || event.key != kVkReturn) {
      return false;
    }
    add(d);
    return true;
  }

 private:
  static void follow_selection(Dialog& d) {
    d.enable(kSecureDeleteButton, d.list(kSecureHostList)->current_selection() >= 0);
  }

  void add(Dialog& d) {
    const int before = static_cast<int>(fields_.hosts.size());
    const int index = add_pass_through(fields_.hosts, d.text(kSecureHostField));
    if (index < 0) return;
    auto* list = d.list(kSecureHostList);
    if (index == before) list->add_string(from_8bit(fields_.hosts.back()));
    list->set_current_selection(index);
    d.set_text(kSecureHostField, "");
    follow_selection(d);
    d.focus(kSecureHostField);
  }

  void remove(Dialog& d) {
    auto* list = d.list(kSecureHostList);
    const int index = list->current_selection();
    if (index < 0 || index >= static_cast<int>(fields_.hosts.size())) return;
    fields_.hosts.erase(fields_.hosts.begin() + index);
    list->delete_string(index);
    if (list->count() > 0) list->set_current_selection(std::min(index, list->count() - 1));
    follow_selection(d);
  }

  void export_certificate(Dialog& d) {
    FileRequest request;
    request.title = "Export the certificate";
    request.filters = {{"Certificate Files", "*.crt"}, {"All Files", "*.*"}};
    request.default_extension = "crt";
    request.file = "kestrelwick-ca.crt";
    request.save = true;
    request.file_must_exist = false;
    if (!run_file_dialog(&d, request)) return;
    std::string error;
    if (export_inspection_certificate(request.file, &error)) {
      d.set_text(kSecureExportResult, "Certificate written to " + request.file);
    } else {
      d.set_text(kSecureExportResult, "The certificate was not written: " + error);
    }
  }

  void store(Dialog& d) {
    if (fields_.hosts != pass_through_hosts()) {
      const InUseQuestion ask = [&d](const ButtonAnswer& answer) {
        return ask_filters_in_use(&d, answer);
      };
      if (!acquire_unused_list(kConnectionGuard, ask, restart_listener)) return;
      pass_through_hosts() = fields_.hosts;
      connection_lock_op(3);
    }
    const bool on = d.is_checked(kSecureInspectCheck);
    const bool switched_on = store_inspect_secure(on);
    // Makes the authority the first time; a failure is reported on the status line and in the
    // log, and tunnels then pass through.
    if (on && (switched_on || inspection_leaves() == nullptr)) prepare_inspection();
    d.end(1);
  }

  SecurePagesFields fields_;
};

}  // namespace

int open_secure_pages(QWidget* owner) {
  SecurePagesProc proc;
  return run_dialog(kSecurePagesTemplate, proc, owner);
}

}  // namespace kw
