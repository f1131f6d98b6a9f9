// The frontend of kestrelwickd: log lines to standard output, status texts and error boxes to
// standard error. Both log categories are on, as in a freshly opened log window. On a terminal
// each line is coloured by its category letter (which is then not shown); otherwise the letter
// stays as the first character, so scripts can tell the categories apart. Every line is written
// whole and flushed at once; any thread may call it. A status text equal to the one shown last
// is not repeated. The active-connections question of a configuration load is answered
// without a user: retry every 100 ms for up to 10 s, then Kill Connections, each step said on
// the status stream.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "report/frontend.h"

namespace kw {

class ConsoleFrontend : public Frontend {
 public:
  // Colour is used when `colour` is true (normally: the log stream is a terminal).
  ConsoleFrontend(std::FILE* log, std::FILE* status, bool colour);

  int add_log_line(const char* text) override;
  int log_category_on(int code) override;
  void set_log_status(const char* text) override;
  void set_status_text(const char* text, Rgb colour) override;
  void show_application_error(const char* text) override;
  int ask_active_connections(AskHandler handler) override;

 private:
  // A line of its own on the status stream (not a status text).
  void say(const char* text);

  std::mutex mutex_;
  std::string last_status_;  // the status text written last; guarded by mutex_
  std::FILE* log_;
  std::FILE* status_;
  bool colour_;
};

}  // namespace kw
