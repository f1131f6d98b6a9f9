// The auto-run launcher's steps; see auto_run.h for the meaning of "window" here.
#include "shell/auto_run.h"

#include <vector>

#include "base/settings.h"

namespace kw {

void hold_auto_run_argument(AutoRunRecord& record, const std::string& text) {
  record.argument = text;
  record.argument_waiting = true;
}

int launch_auto_run(AutoRunRecord& record, bool ctrl_held) {
  const std::string& command_line = settings().auto_run;
  if (command_line.empty() || ctrl_held) return kAutoRunNotLaunched;

  // The argument is handed over at most once: the attempt consumes it whatever follows.
  size_t length = command_line.size();
  bool with_argument = record.argument_waiting;
  record.argument_waiting = false;
  if (with_argument) length += record.argument.size() + 3;  // blank and two quotes

  if (find_auto_run_window(record) != 0) return kAutoRunLaunched;
  if (length > kAutoRunCommandMax) return kAutoRunNotLaunched;

  // The argument becomes one word as it stands: re-splitting the quoted text would cut an
  // argument that itself holds a double quote into several.
  std::vector<std::string> words = split_command_line(command_line);
  if (with_argument) words.push_back(record.argument);
  ChildProcess started;
  if (ChildProcess::spawn(words, &started) == 0) return kAutoRunNotLaunched;
  record.process = std::move(started);
  return kAutoRunLaunched;
}

pid_t find_auto_run_window(AutoRunRecord& record) {
  return record.process.running() ? record.process.pid() : 0;
}

void close_auto_run(AutoRunRecord& record) {
  if (find_auto_run_window(record) != 0) record.process.terminate();
}

}  // namespace kw
