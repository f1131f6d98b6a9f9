// How the filter editors report a build that failed: each result has its message, caption and
// the field the focus goes to afterwards; a result the table does not name gets its last row.
// User-interface thread only.
#pragma once

#include <span>

#include "dialogs/message_dialogs.h"
#include "skin/builtin_art.h"
#include "ui/dialog.h"

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

}  // namespace kw
