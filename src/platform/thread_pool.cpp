// Parked threads handing over jobs; see thread_pool.h.
#include "platform/thread_pool.h"

#include <unistd.h>

namespace kw {
namespace {

struct StartRecord {
  ThreadPool* pool;
  ThreadPool::Job job;
  void* argument;
};

}  // namespace

ThreadPool::ThreadPool(size_t stack_bytes, int max_parked) : max_parked_(max_parked) {
  handed_.reserve(static_cast<size_t>(max_parked));
  pthread_attr_init(&attributes_);
  pthread_attr_setdetachstate(&attributes_, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes_, stack_bytes);
  pthread_attr_setguardsize(&attributes_, static_cast<size_t>(sysconf(_SC_PAGESIZE)));
}

ThreadPool::~ThreadPool() {
  {
    std::unique_lock lock(mutex_);
    closing_ = true;
    wake_.notify_all();
    left_.wait(lock, [&] { return threads_ == 0; });
  }
  pthread_attr_destroy(&attributes_);
}

bool ThreadPool::run(Job job, void* argument) {
  {
    std::unique_lock lock(mutex_);
    // Every handed task has a parked thread of its own that will take it.
    if (static_cast<size_t>(parked_) > handed_.size()) {
      handed_.push_back({job, argument});
      // Woken after the lock is let go, so the thread does not wake only to wait for it.
      lock.unlock();
      wake_.notify_one();
      return true;
    }
    ++threads_;
  }
  auto* start = new StartRecord{this, job, argument};
  pthread_t thread;
  if (pthread_create(&thread, &attributes_, thread_main, start) == 0) return true;
  delete start;
  std::lock_guard lock(mutex_);
  --threads_;
  left_.notify_all();
  return false;
}

int ThreadPool::parked() const {
  std::lock_guard lock(mutex_);
  return parked_ - static_cast<int>(handed_.size());
}

int ThreadPool::threads() const {
  std::lock_guard lock(mutex_);
  return threads_;
}

void* ThreadPool::thread_main(void* record) {
  auto* start = static_cast<StartRecord*>(record);
  ThreadPool* pool = start->pool;
  Task first{start->job, start->argument};
  delete start;
  pool->serve(first);
  return nullptr;
}

void ThreadPool::serve(Task task) {
  std::unique_lock lock(mutex_, std::defer_lock);
  for (;;) {
    task.job(task.argument);
    lock.lock();
    if (closing_ || parked_ >= max_parked_) break;
    ++parked_;
    // Waits even when a task is handed already: it was handed to a thread that was waiting then
    // and is being woken for it, which would otherwise wake to find nothing and wait again.
    do {
      wake_.wait(lock);
    } while (handed_.empty() && !closing_);
    --parked_;
    if (handed_.empty()) break;
    task = handed_.back();
    handed_.pop_back();
    lock.unlock();
  }
  // Still under the lock: after it is released the thread touches nothing of the pool, so the
  // destructor may free it as soon as the count reaches 0.
  --threads_;
  left_.notify_all();
}

}  // namespace kw
