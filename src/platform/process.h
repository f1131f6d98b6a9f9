// Starting another program without a shell, and keeping track of it until it ends.
//
// A command line is split into words here (double quotes group) and the first word is looked
// up on PATH, so nothing in it is ever interpreted by a shell. A started program runs in this
// process's environment and current directory, sees none of this process's descriptors but 0,
// 1 and 2 (a browser started by the proxy must not keep the proxy's listening socket alive),
// and starts with default signal dispositions and an empty signal mask.
//
// ChildProcess owns the process id of one started program until that program has ended and
// been reaped: as long as it is not reaped the id cannot be reused by the system, so signalling
// it can never reach an unrelated process. Not thread-safe; the owner calls it from one thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace kw {

// Words of a command line. Blanks (spaces and tabs) separate words; a double quote switches
// grouping on or off and is dropped, so "a b"c is the one word a bc and "" is an empty word.
// A quote left open runs to the end of the line.
std::vector<std::string> split_command_line(std::string_view line);

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Reaps the process when it has ended; a running one is left running, since ending it is
  // the owner's decision (see terminate).
  ~ChildProcess();

  // Starts words[0], searched on PATH, with words as its arguments. 1 and *out holds the new
  // process; 0 when there are no words or the program could not be started (*out untouched).
  static int spawn(const std::vector<std::string>& words, ChildProcess* out);

  // True while the process runs. An ended process is reaped and forgotten here.
  bool running();
  // SIGTERM to the process when it still runs. 1 sent, 0 not running.
  int terminate();
  // The process id, 0 when none is held.
  pid_t pid() const { return pid_; }

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_ = 0;  // 0, or a started process that has not been reaped
};

}  // namespace kw
