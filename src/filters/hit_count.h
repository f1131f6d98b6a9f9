// How often a filter struck since the program started or the user last reset the counts.
//
// Connection threads add to a filter's count while they share its record read-only, and the
// list dialogs and kestrelwickd read and reset it at any time. Nothing is ordered by the count,
// so every access is a relaxed atomic: no lock and no fence on the page path. A count has a
// cache line of its own, so that adding to it never takes from other cores the line of the
// record's fields that every scan reads.
#pragma once

#include <atomic>
#include <cstdint>

namespace kw {

class alignas(64) HitCount {
 public:
  void add() { count_.fetch_add(1, std::memory_order_relaxed); }
  uint64_t value() const { return count_.load(std::memory_order_relaxed); }
  void reset() { count_.store(0, std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> count_{0};
};

}  // namespace kw
