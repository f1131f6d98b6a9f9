#include "support/threads.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kw::test {

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

long blocked_syscall(pid_t tid) {
  // "running" while in user space; otherwise the call number and its arguments.
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  std::string first;
  if (!(in >> first) || first == "running") return -1;
  return std::strtol(first.c_str(), nullptr, 10);
}

}  // namespace kw::test
