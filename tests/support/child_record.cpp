// The test child's helpers (its path, scratch directories, its record file, waiting), whole
// files, and what this process's threads are doing.
#include "child_record.h"

#include <dirent.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/program_directory.h"
#include "platform/wait_until.h"
#include "support/files.h"
#include "support/threads.h"

namespace kw::test {

std::string test_child_path() { return std::string(program_directory()) + "kw_test_child"; }

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kw child XXXXXX").string();
  if (::mkdtemp(pattern.data())) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<ChildRun> read_child_runs(const std::string& record) {
  std::vector<ChildRun> runs;
  std::ifstream in(record);
  std::string line;
  ChildRun run;
  bool open = false;
  while (std::getline(in, line)) {
    if (line.rfind("run ", 0) == 0) {
      run = ChildRun{};
      char sigpipe[16] = {};
      open = std::sscanf(line.c_str(), "run %d extra_fds=%d sigpipe=%15s", &run.pid, &run.extra_fds,
                         sigpipe) == 3;
      run.sigpipe_default = std::string(sigpipe) == "default";
    } else if (open && line.rfind("arg ", 0) == 0) {
      run.args.push_back(line.substr(4));
    } else if (open && line == "end") {
      runs.push_back(run);
      open = false;
    }
  }
  return runs;
}

std::vector<int> read_child_terminations(const std::string& record) {
  std::vector<int> pids;
  std::ifstream in(record);
  std::string line;
  while (std::getline(in, line)) {
    int pid = 0;
    if (std::sscanf(line.c_str(), "terminated %d", &pid) == 1) pids.push_back(pid);
  }
  return pids;
}

bool wait_until(const std::function<bool()>& done, int timeout_ms) {
  return kw::wait_until(done, std::chrono::milliseconds(timeout_ms));
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::set<pid_t> thread_ids() {
  std::set<pid_t> ids;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ids.insert(static_cast<pid_t>(std::atoi(entry->d_name)));
    }
    closedir(dir);
  }
  return ids;
}

std::string thread_name(pid_t tid) {
  std::string name;
  std::getline(std::ifstream("/proc/self/task/" + std::to_string(tid) + "/comm"), name);
  return name;
}

long blocked_syscall(pid_t tid) {
  // "running" while in user space; otherwise the call number and its arguments.
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  std::string first;
  if (!(in >> first) || first == "running") return -1;
  return std::strtol(first.c_str(), nullptr, 10);
}

}  // namespace kw::test
