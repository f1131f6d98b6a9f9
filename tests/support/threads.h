// What this process's threads are doing, read from /proc, so a test can wait until another
// thread is really blocked in a call instead of sleeping and hoping it got there.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>

namespace kw::test {

// The ids of this process's threads.
std::set<pid_t> thread_ids();
// The thread's name (its comm); empty once it ended.
std::string thread_name(pid_t tid);
// The number of the system call thread tid is blocked in; -1 while it runs or once it ended.
long blocked_syscall(pid_t tid);

}  // namespace kw::test
