// The main window record: the program-wide state of the application shell that outlives any one
// window. The state flags (a menu hint is showing; an argument waits for the auto-run program),
// the auto-run launcher's record, the status line's colour and the rectangle the next log
// window opens with. Texture bitmaps live in the skin's texture set, the auto-run command line
// and the texture paths in the settings.
//
// One record per process (main_window_record()), made zeroed at start-up; the user-interface
// thread uses it, except the status colour, which set_status_text stores from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "report/frontend.h"
#include "shell/auto_run.h"

namespace kw {

// State flag 2: a command-line argument waits for the auto-run program; kept as
// AutoRunRecord::argument_waiting.

// State flag 1: the status line shows the hint of a menu-bar icon.
inline constexpr uint32_t kMenuHintShown = 1;

struct LogWindowRect {
  int left = 0, top = 0, right = 400, bottom = 263;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

struct MainWindowRecord {
  uint32_t state_flags = 0;
  AutoRunRecord auto_run;
  std::atomic<Rgb> status_colour{kGreen};
  // The first log window of a run is 400 by 263; a closing log window stores its own here.
  LogWindowRect log_window_rect;
};

MainWindowRecord& main_window_record();

}  // namespace kw
