// Test helpers around kw_test_child (test_child.cpp): where it is, a scratch directory for its
// record file, reading the record back, and waiting with a deadline.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kw::test {

// kw_test_child beside the running test program.
std::string test_child_path();

// A fresh directory under the system's temporary folder whose name holds a blank (so command
// lines built on it need their quotes); removed with everything in it at destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ChildRun {
  int pid = 0;
  int extra_fds = -1;
  bool sigpipe_default = false;
  std::vector<std::string> args;  // the arguments after the record file
};

// Complete run blocks of the record file, in order.
std::vector<ChildRun> read_child_runs(const std::string& record);
// Process ids that recorded their SIGTERM.
std::vector<int> read_child_terminations(const std::string& record);

// Polls done every few milliseconds until it holds or timeout_ms have passed.
bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000);

}  // namespace kw::test
