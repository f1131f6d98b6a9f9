// Console frontend of kestrelwickd; see console_frontend.h. One mutex keeps lines whole when
// several connection threads log at once.
#include "shell/console_frontend.h"

namespace kw {
namespace {

// ANSI colour of a category letter: W white, R red, C cyan, G green, Y yellow, V magenta.
const char* ansi_colour(char letter) {
  switch (letter) {
    case 'R':
      return "\033[31m";
    case 'G':
      return "\033[32m";
    case 'Y':
      return "\033[33m";
    case 'V':
      return "\033[35m";
    case 'C':
      return "\033[36m";
    default:
      return "\033[37m";
  }
}

}  // namespace

ConsoleFrontend::ConsoleFrontend(std::FILE* log, std::FILE* status, bool colour)
    : log_(log), status_(status), colour_(colour) {}

int ConsoleFrontend::add_log_line(const char* text) {
  std::lock_guard lock(mutex_);
  if (colour_) {
    const char* shown = *text != '\0' ? text + 1 : text;
    std::fprintf(log_, "%s%s\033[0m\n", ansi_colour(*text), shown);
  } else {
    std::fprintf(log_, "%s\n", text);
  }
  std::fflush(log_);
  return 1;
}

int ConsoleFrontend::log_category_on(int code) { return 1; }

// A console has no log window status bar; the count it would show also comes as a status text.
void ConsoleFrontend::set_log_status(const char* text) {}

void ConsoleFrontend::set_status_text(const char* text, Rgb colour) {
  std::lock_guard lock(mutex_);
  std::fprintf(status_, "%s\n", text);
  std::fflush(status_);
}

void ConsoleFrontend::show_application_error(const char* text) {
  std::lock_guard lock(mutex_);
  std::fprintf(status_, "Kestrelwick Application Error: %s\n", text);
  std::fflush(status_);
}

// Nobody can be asked: the caller goes back, as if the user chose "Go Back".
int ConsoleFrontend::ask_active_connections(AskHandler handler) { return kAskGoBack; }

}  // namespace kw
