// A pool of parked threads for short jobs that each want a whole thread to themselves (blocking
// calls from start to end). run hands a job to a parked thread when one waits, else starts a new
// detached thread for it; after its job a thread parks again unless max_parked threads already
// wait, and then it ends. A job is never queued behind another job: it starts at once or run
// says it could not. Every thread gets a stack of stack_bytes below a guard page, so a job that
// overruns its stack faults instead of writing into other memory. A parked thread is named
// kParkedThreadName (and takes its own name back with a job), so the process's thread list
// (/proc/PID/task/*/comm) tells threads kept for reuse from threads at work.
//
// The destructor wakes the parked threads and waits until every thread of the pool has left it;
// it must not run while a job may still be running or be handed in. A pool whose jobs can outlive
// the program's shutdown (detached connections) is made once and never destroyed.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace kw {

inline constexpr char kParkedThreadName[] = "parked";

class ThreadPool {
 public:
  using Job = void (*)(void* argument);

  ThreadPool(size_t stack_bytes, int max_parked);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // Runs job(argument) on a thread of the pool. false when no thread could be started (the
  // argument is then still the caller's).
  bool run(Job job, void* argument);
  // Threads waiting for a job now.
  int parked() const;
  // Threads of the pool now, parked or running a job.
  int threads() const;

 private:
  struct Task {
    Job job;
    void* argument;
  };
  static void* thread_main(void* pool);
  void serve(Task task);

  mutable std::mutex mutex_;
  std::condition_variable wake_;  // a task was handed over, or the pool is closing
  std::condition_variable left_;  // a thread left the pool
  std::vector<Task> handed_;      // tasks given to parked threads, not yet taken
  int parked_ = 0;                // parked threads, including those woken for a handed task
  int threads_ = 0;
  bool closing_ = false;
  const int max_parked_;
  pthread_attr_t attributes_;
};

}  // namespace kw
