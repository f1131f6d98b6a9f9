// What the web and header filter editors share: OK on an existing filter that was not changed
// ends with nothing, otherwise it builds the record from the fields and ends with it; "Cancel"
// and the close box end with nothing, F1 opens the editor's help topic; fields are read no
// longer than their limits; a build that failed is reported from a table in which each result
// has its message, caption and the field the focus goes to afterwards (a result the table does
// not name gets its last row). User-interface thread only.
#pragma once

#include <span>
#include <string>

#include "dialogs/message_dialogs.h"
#include "filters/filter_editing.h"
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

// One editor of a `Record` in the list `Model`, whose fields read as `Fields` and whose build
// function makes the record from them.
template <class Model, class Record, class Fields>
class FilterEditorProc : public SkinnedDialogProc {
 public:
  using Build = int (*)(Model& list, LinkPat* node, int mode, const Fields& fields,
                        Record** result);

  FilterEditorProc(int help_topic, Model& list, LinkPat* node, int mode, Record* source,
                   Build build, std::span<const BuildMessage> messages)
      : SkinnedDialogProc(kFace2Texture),
        source_(source),
        help_topic_(help_topic),
        list_(list),
        node_(node),
        mode_(mode),
        build_(build),
        messages_(messages) {}

  Record* result() const { return result_; }

  void on_command(Dialog& d, int id, int code) override {
    if (code != kClicked) return;
    if (id == kIdOk) ok(d);
    if (id == kIdCancel) d.end(0);
  }
  void on_close(Dialog& d) override { d.end(0); }
  void on_help(Dialog&) override { request_help(help_topic_); }

 protected:
  // Whether the user left every field as the editor showed it.
  virtual bool unchanged(Dialog& d) const = 0;
  virtual Fields read_fields(Dialog& d) const = 0;

  static std::string field(Dialog& d, int id, int limit) {
    return d.text(id).substr(0, static_cast<size_t>(limit));
  }
  static bool any_modified(Dialog& d, std::span<const int> ids) {
    for (int id : ids) {
      if (d.is_modified(id)) return true;
    }
    return false;
  }

  Record* const source_;  // the record the editor opened with; none for a new filter

 private:
  void ok(Dialog& d) {
    if (mode_ == EDIT_EXISTING && source_ != nullptr && unchanged(d)) {
      d.end(0);
      return;
    }
    Record* built = nullptr;
    const int result = build_(list_, node_, mode_, read_fields(d), &built);
    if (result == 1) {
      result_ = built;
      d.end(1);
      return;
    }
    report_build_failure(d, messages_, result);
  }

  const int help_topic_;
  Model& list_;
  LinkPat* const node_;
  const int mode_;
  const Build build_;
  const std::span<const BuildMessage> messages_;
  Record* result_ = nullptr;
};

}  // namespace kw
