// The bodies of the last few text pages that went through the page filter, with their URLs, so
// that a filter can be tried on what the proxy really saw. Transfers record only while someone
// watches (the filter editor's try window is open), which costs an unwatched transfer one relaxed
// load. A body is kept up to kRecentPageBytes, the ring holds the last kRecentPageCount pages,
// and its lock is taken once per recorded page and by readers. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kw {

inline constexpr size_t kRecentPageCount = 8;
inline constexpr size_t kRecentPageBytes = 256 * 1024;

struct RecentPage {
  std::string url;
  std::string body;  // as the server sent it, up to kRecentPageBytes
  bool cut = false;  // the body went on beyond what is kept

  // Appends received bytes, up to the cap.
  void add(const char* data, size_t n);
};

// Raises (true) or lowers (false) the number of watchers; pages are recorded while it is positive.
void watch_recent_pages(bool on);
bool recent_pages_watched();

// Keeps a page as the newest, dropping the oldest beyond kRecentPageCount.
void keep_recent_page(RecentPage page);
// How often the ring changed so far: a reader sees from it whether to read it again.
uint64_t recent_pages_kept();
// The pages kept, newest first.
std::vector<RecentPage> recent_pages();
void forget_recent_pages();

}  // namespace kw
