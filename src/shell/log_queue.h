// The hand-over of log lines from every thread to the log window. A line is decided "added" or
// "dropped" when it is logged (dropped while no log window is open or while it is paused), and
// an added line is appended to this queue under the queue's own mutex; the user-interface
// thread takes the waiting lines in order and shows them. So a connection thread that holds
// log_lock while it writes a request block never waits for the user-interface thread, and the
// lines of that block reach the window together and in order, because log_lock keeps other
// writers out while it holds it.
//
// Only the newest kMaxLogLines lines can ever be shown, so the queue keeps no more than that:
// a flood of lines while the window is busy costs at most that many strings, and the window
// catches up with one batch. The queue also carries the window's switches (paused, the two
// categories, read by every thread) and the text of the status bar's second part.
//
// One program-wide queue (log_queue()); add, category_on and set_status may be called from any
// thread, the rest from the user-interface thread that owns the log window.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kw {

// The log window holds at most this many lines.
inline constexpr int kMaxLogLines = 500;

class LogQueue {
 public:
  // Called, with the queue's mutex held, when something arrives while nothing was waiting:
  // the window schedules a drain. It must return at once and never log.
  using Wake = std::function<void()>;

  struct Batch {
    std::vector<std::string> lines;  // oldest first, at most kMaxLogLines
    size_t dropped = 0;              // older lines pushed out before the window saw them
    bool status_changed = false;
    std::string status;  // the newest status text, when it changed
  };

  // A log window opened: lines are taken from now on, both categories on, not paused.
  void open(Wake wake);
  // The window is going: lines are dropped from now on, waiting ones are discarded, and the
  // wake function is never called again once this returns.
  void close();
  bool is_open() const { return open_.load(); }

  // 1 when the line was queued, 0 when it was dropped. Any thread.
  int add(const char* text);
  // Category 1 or 2: whether it is on; 0 for every code without a window; 1 for other codes.
  int category_on(int code) const;
  void set_category(int code, bool on);
  void set_paused(bool on) { paused_.store(on); }
  bool paused() const { return paused_.load(); }
  // The text of the status bar's second part. Any thread.
  void set_status(const char* text);

  // Takes what is waiting.
  Batch take();
  // Throws away the lines waiting (the log is being reset).
  void discard_lines();

 private:
  // True when something is waiting for the window; the caller holds mutex_.
  bool waiting() const { return !lines_.empty() || status_changed_; }
  void wake_if_idle(bool was_waiting);

  std::atomic<bool> open_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> categories_[2] = {false, false};

  std::mutex mutex_;
  Wake wake_;
  std::deque<std::string> lines_;  // oldest first; never more than kMaxLogLines
  size_t dropped_ = 0;
  bool status_changed_ = false;
  std::string status_;
};

// The program's log queue.
LogQueue& log_queue();

}  // namespace kw
