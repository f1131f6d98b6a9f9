// The program-wide locks (connection, web filter, header filter, log) behind the designed lock
// operation with its codes: 1 create, 2 acquire, 3 release, 4 destroy, anything else nothing;
// the result is always 1. Each lock is a re-entrant mutex that exists for the whole process, so
// create and destroy only mark its life and an acquire can never meet a destroyed lock.
// Code that takes a lock for a scope uses DesignedLock::Guard instead of codes 2 and 3.
#pragma once

#include <mutex>

namespace kw {

class DesignedLock {
 public:
  enum Op { kCreate = 1, kAcquire = 2, kRelease = 3, kDestroy = 4 };

  int op(int code) {
    if (code == kAcquire) mutex_.lock();
    if (code == kRelease) mutex_.unlock();
    return 1;
  }

  std::recursive_mutex& mutex() { return mutex_; }

  class Guard {
   public:
    explicit Guard(DesignedLock& lock) : guard_(lock.mutex_) {}

   private:
    std::lock_guard<std::recursive_mutex> guard_;
  };

 private:
  std::recursive_mutex mutex_;
};

}  // namespace kw
