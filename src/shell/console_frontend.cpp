// Console frontend of kestrelwickd; see console_frontend.h. One mutex keeps lines whole when
// several connection threads log at once.
#include "shell/console_frontend.h"

#include <chrono>

#include "platform/wait_until.h"

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
  // A status line shows one text until the next: the same text again changes nothing (the
  // connection count is shown again on every retry of a waiting load).
  if (last_status_ == text) return;
  last_status_ = text;
  std::fprintf(status_, "%s\n", text);
  std::fflush(status_);
}

void ConsoleFrontend::show_application_error(const char* text) {
  std::lock_guard lock(mutex_);
  std::fprintf(status_, "Kestrelwick Application Error: %s\n", text);
  std::fflush(status_);
}

// Nobody can be asked: the connections get ten seconds to end on their own (a retry every
// 100 ms), then they are killed. When even that does not free them the load goes back.
int ConsoleFrontend::ask_active_connections(AskHandler handler) {
  say("Active Connections - Can't load configuration: retrying for up to 10 s");
  int result = 0;
  if (wait_until([&] { return (result = handler(kAnswerRetry)) != 0; }, std::chrono::seconds(10),
                 std::chrono::milliseconds(100))) {
    return result;
  }
  say("Active Connections - still active after 10 s: Kill Connections");
  if ((result = handler(kAnswerKillConnections)) != 0) return result;
  say("Active Connections - they did not end: Go Back, configuration not loaded");
  return kAskGoBack;
}

void ConsoleFrontend::say(const char* text) {
  std::lock_guard lock(mutex_);
  std::fprintf(status_, "%s\n", text);
  std::fflush(status_);
  last_status_.clear();
}

}  // namespace kw
