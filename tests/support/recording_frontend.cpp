// The recording frontend; see recording_frontend.h.
#include "recording_frontend.h"

#include <algorithm>
#include <chrono>

#include "platform/wait_until.h"

namespace kw::test {

RecordingFrontend::RecordingFrontend() { install_frontend(this); }

RecordingFrontend::~RecordingFrontend() {
  if (installed_frontend() == this) install_frontend(nullptr);
  release_error_boxes();
  std::unique_lock lock(mutex_);
  boxes_changed_.wait(lock, [this] { return boxes_open_ == 0; });
}

int RecordingFrontend::log_category_on(int code) {
  std::lock_guard lock(mutex_);
  return code == 1 || code == 2 ? categories_[code] : 1;
}

void RecordingFrontend::show_application_error(const char* text) {
  std::unique_lock lock(mutex_);
  errors_.emplace_back(text);
  ++boxes_open_;
  boxes_changed_.wait(lock, [this] { return !boxes_held_; });
  --boxes_open_;
  boxes_changed_.notify_all();
}

void RecordingFrontend::hold_error_boxes() {
  std::lock_guard lock(mutex_);
  boxes_held_ = true;
}

void RecordingFrontend::release_error_boxes() {
  {
    std::lock_guard lock(mutex_);
    boxes_held_ = false;
  }
  boxes_changed_.notify_all();
}

int RecordingFrontend::ask_active_connections(AskHandler handler) {
  for (int round = 0;; ++round) {
    std::function<int(int)> answer;
    {
      std::lock_guard lock(mutex_);
      ++questions_;
      answer = answer_;
    }
    const int control = answer ? answer(round) : kAskGoBack;
    if (control == kAskGoBack || control == kAskClosed) return control;
    if (int result = handler(control)) return result;
  }
}

void RecordingFrontend::set_category(int code, bool on) {
  std::lock_guard lock(mutex_);
  if (code == 1 || code == 2) categories_[code] = on;
}

void RecordingFrontend::script_answers(std::function<int(int round)> answer) {
  std::lock_guard lock(mutex_);
  answer_ = std::move(answer);
}

bool RecordingFrontend::has_line(const std::string& text) const {
  std::lock_guard lock(mutex_);
  return std::find(lines_.begin(), lines_.end(), text) != lines_.end();
}

bool RecordingFrontend::wait_for_line(const std::string& text, int timeout_ms) const {
  return kw::wait_until([&] { return has_line(text); }, std::chrono::milliseconds(timeout_ms),
                        std::chrono::milliseconds(5));
}

void RecordingFrontend::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  statuses_.clear();
  errors_.clear();
  questions_ = 0;
  textures_reloaded_ = 0;
  external_ = 0;
}

}  // namespace kw::test
