// The log queue between the logging threads and the log window.
#include "shell/log_queue.h"

namespace kw {

void LogQueue::open(Wake wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
  dropped_ = 0;
  status_changed_ = false;
  status_.clear();
  wake_ = std::move(wake);
  paused_.store(false);
  categories_[0].store(true);
  categories_[1].store(true);
  open_.store(true);
}

void LogQueue::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_.store(false);
  wake_ = nullptr;
  lines_.clear();
  dropped_ = 0;
  status_changed_ = false;
}

void LogQueue::wake_if_idle(bool was_waiting) {
  if (!was_waiting && wake_) wake_();
}

int LogQueue::add(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Decided under the mutex, so a line is never queued after close() has emptied the queue.
  if (!open_.load() || paused_.load()) return 0;
  const bool was_waiting = waiting();
  if (lines_.size() >= static_cast<size_t>(kMaxLogLines)) {
    lines_.pop_front();
    ++dropped_;
  }
  lines_.emplace_back(text ? text : "");
  wake_if_idle(was_waiting);
  return 1;
}

int LogQueue::category_on(int code) const {
  if (!open_.load()) return 0;
  if (code == 1 || code == 2) return categories_[code - 1].load() ? 1 : 0;
  return 1;
}

void LogQueue::set_category(int code, bool on) {
  if (code == 1 || code == 2) categories_[code - 1].store(on);
}

void LogQueue::set_status(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_.load()) return;
  const bool was_waiting = waiting();
  status_ = text ? text : "";
  status_changed_ = true;
  wake_if_idle(was_waiting);
}

LogQueue::Batch LogQueue::take() {
  Batch batch;
  std::lock_guard<std::mutex> lock(mutex_);
  batch.lines.assign(std::make_move_iterator(lines_.begin()),
                     std::make_move_iterator(lines_.end()));
  lines_.clear();
  batch.dropped = dropped_;
  dropped_ = 0;
  batch.status_changed = status_changed_;
  if (status_changed_) batch.status = status_;
  status_changed_ = false;
  return batch;
}

void LogQueue::discard_lines() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
  dropped_ = 0;
}

LogQueue& log_queue() {
  static LogQueue queue;
  return queue;
}

}  // namespace kw
