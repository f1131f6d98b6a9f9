// The ring of recent pages; see recent_pages.h.
#include "filters/recent_pages.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

namespace kw {
namespace {

std::atomic<int> watchers{0};
std::atomic<uint64_t> kept{0};
std::mutex ring_lock;
std::deque<RecentPage> ring;  // newest first; guarded by ring_lock

}  // namespace

void RecentPage::add(const char* data, size_t n) {
  const size_t room = kRecentPageBytes - body.size();
  body.append(data, std::min(n, room));
  if (n > room) cut = true;
}

void watch_recent_pages(bool on) { watchers.fetch_add(on ? 1 : -1, std::memory_order_relaxed); }

bool recent_pages_watched() { return watchers.load(std::memory_order_relaxed) > 0; }

void keep_recent_page(RecentPage page) {
  std::lock_guard<std::mutex> guard(ring_lock);
  ring.push_front(std::move(page));
  if (ring.size() > kRecentPageCount) ring.pop_back();
  kept.fetch_add(1, std::memory_order_relaxed);
}

uint64_t recent_pages_kept() { return kept.load(std::memory_order_relaxed); }

std::vector<RecentPage> recent_pages() {
  std::lock_guard<std::mutex> guard(ring_lock);
  return {ring.begin(), ring.end()};
}

void forget_recent_pages() {
  std::lock_guard<std::mutex> guard(ring_lock);
  ring.clear();
  kept.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace kw
