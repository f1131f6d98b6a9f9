// How a dialog asks for a topic of the help file without knowing the help window: the program
// installs the viewer's entry once, and dialogs call request_help with their topic. Without an
// installed handler a request does nothing. User-interface thread only.
#pragma once

namespace kw {

using HelpHandler = void (*)(int topic);
void set_help_handler(HelpHandler handler);
void request_help(int topic);

}  // namespace kw
