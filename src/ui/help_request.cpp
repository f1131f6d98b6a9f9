// The installed help entry; see help_request.h.
#include "ui/help_request.h"

namespace kw {
namespace {

HelpHandler handler = nullptr;

}  // namespace

void set_help_handler(HelpHandler h) { handler = h; }

void request_help(int topic) {
  if (handler != nullptr) handler(topic);
}

}  // namespace kw
