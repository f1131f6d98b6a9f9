// Waiting for a condition that another thread brings about: the condition is polled at a fixed
// interval until it holds or a deadline passes. For waits that have no event to block on (a
// count of connections going down, a retry that may succeed); the deadline keeps every such
// wait bounded. Any thread may call it; the condition runs on the caller's thread.
#pragma once

#include <chrono>
#include <thread>

namespace kw {

// Calls done() until it returns true (the result then is true) or `timeout` has passed since
// the first call (false), sleeping `interval` between calls. done() runs at least once.
template <typename Done>
bool wait_until(Done&& done, std::chrono::milliseconds timeout,
                std::chrono::milliseconds interval = std::chrono::milliseconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(interval);
  }
  return true;
}

}  // namespace kw
