// The "not available yet" message of the dialog still to come.
#include "dialogs/stand_in_dialogs.h"

#include "dialogs/message_dialogs.h"
#include "ui/resources.h"

namespace kw {
namespace {

void not_available(QWidget* owner, const char* what, const char* caption) {
  const std::string text = std::string(what) + " is not available yet.";
  show_message(owner, text.c_str(), caption, kIconInformation);
}

}  // namespace

void open_proxy_selector(QWidget* owner) {
  not_available(owner, "The remote proxy selector", "External Proxy Selector");
}

}  // namespace kw
