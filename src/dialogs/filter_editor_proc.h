// What the web and header filter editors share: OK builds the filter (each editor's own ok),
// "Cancel" and the close box end with nothing, F1 opens the editor's help topic; fields are read
// no longer than their limits; a build that failed is reported from a table in which each
// result has its message, caption and the field the focus goes to afterwards (a result the table
// does not name gets its last row). User-interface thread only.
#pragma once

#include <span>
#include <string>

#include "dialogs/message_dialogs.h"
#include "skin/builtin_art.h"
#include "skin/skinned_dialog.h"
#include "ui/dialog.h"
#include "ui/help_request.h"

namespace kw {

struct BuildMessage {
  int result;
  const char* text;
  const char* caption;
  int focus;  // 0: the focus stays where it is
};

inline void report_build_failure(Dialog& d, std::span<const BuildMessage> table, int result) {
  const BuildMessage* message = &table.back();
  for (const BuildMessage& m : table) {
    if (m.result == result) message = &m;
  }
  show_message(&d, message->text, message->caption, kMessageIcon);
  if (message->focus != 0) d.focus(message->focus);
}

class FilterEditorProc : public SkinnedDialogProc {
 public:
  explicit FilterEditorProc(int help_topic)
      : SkinnedDialogProc(kFace2Texture), help_topic_(help_topic) {}

  void on_command(Dialog& d, int id, int code) override {
    if (code != kClicked) return;
    if (id == kIdOk) ok(d);
    if (id == kIdCancel) d.end(0);
  }
  void on_close(Dialog& d) override { d.end(0); }
  void on_help(Dialog&) override { request_help(help_topic_); }

 protected:
  virtual void ok(Dialog& d) = 0;

  static std::string field(Dialog& d, int id, int limit) {
    return d.text(id).substr(0, static_cast<size_t>(limit));
  }
  static bool any_modified(Dialog& d, std::span<const int> ids) {
    for (int id : ids) {
      if (d.is_modified(id)) return true;
    }
    return false;
  }

 private:
  const int help_topic_;
};

}  // namespace kw
