// The auto-run launcher: starts the program named by the auto-run command line of the settings
// (typically the browser that uses this proxy) at start-up or on the Launch Auto-Run Program
// command, hands it this program's own command-line argument once, keeps at most one started
// copy at a time, and asks that copy to end when this program ends.
//
// "Its window still shows" is taken to mean "the started process still runs": there is no
// portable way to find or raise another program's window, so a copy that still runs simply
// counts as launched and nothing new is started. Ending it at shutdown sends SIGTERM to that
// one process only; a copy of the same program started in any other way is never touched.
//
// The desktop program owns one AutoRunRecord for the whole run and calls these functions from
// the user-interface thread only.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/process.h"

namespace kw {

struct AutoRunRecord {
  // State flag 2: this program's command-line argument has not been handed over yet.
  bool argument_waiting = false;
  std::string argument;  // this program's command-line argument (not a ".cfg" name)
  ChildProcess process;  // the last program started, if it has not been seen to end
};

inline constexpr int kAutoRunLaunched = 1;
inline constexpr int kAutoRunNotLaunched = 0;

// The designed command buffer holds 256 bytes: the auto-run command line and the handed-over
// argument, appended as a blank and the argument between double quotes, fit in 255 characters
// or the command is not started.
inline constexpr size_t kAutoRunCommandMax = 255;

// Start-up: keeps text as the argument for the auto-run program and marks it waiting.
void hold_auto_run_argument(AutoRunRecord& record, const std::string& text);

// Starts the auto-run program of the settings unless there is no command line or ctrl_held
// (the Ctrl key is down at this moment: holding it while this program starts suppresses the
// launch). A waiting argument is consumed by the attempt, handed over only to a new copy,
// whole, as one argument. A command that cannot be started is ignored silently.
// kAutoRunLaunched when a copy was started or one started earlier still runs.
int launch_auto_run(AutoRunRecord& record, bool ctrl_held);

// The started program's process id while it still runs, 0 otherwise (an ended one is reaped).
pid_t find_auto_run_window(AutoRunRecord& record);

// Shutdown: SIGTERM to the started program when it still runs; nothing when none is found.
void close_auto_run(AutoRunRecord& record);

}  // namespace kw
