// A frontend for tests: keeps every log line, status text and error box, counts texture
// reloads, answers the active-connections question with a scripted function. Installs itself
// for the life of the object. Thread-safe; everything is read back as a snapshot.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "report/frontend.h"

namespace kw::test {

class RecordingFrontend : public Frontend {
 public:
  struct Status {
    std::string text;
    Rgb colour;
  };

  RecordingFrontend();
  ~RecordingFrontend() override;

  int add_log_line(const char* text) override { return push(lines_, text); }
  int log_category_on(int code) override;
  void set_log_status(const char*) override {}  // no test reads the log window's count
  void set_status_text(const char* text, Rgb colour) override {
    push(statuses_, Status{text, colour});
  }
  void show_application_error(const char* text) override;
  int ask_active_connections(AskHandler handler) override;
  void reload_textures() override { count(textures_reloaded_); }
  void external_connection_seen() override { count(external_); }

  // Settings of the recording.
  void set_category(int code, bool on);
  // While held, an error box stays open (its caller waits) until release_error_boxes or the
  // end of the recording, which waits until every open box is closed.
  void hold_error_boxes();
  void release_error_boxes();
  // answer(round) gives the answer of each round of the active-connections question (0 first):
  // kAnswerRetry, kAnswerKillConnections, or kAskGoBack and kAskClosed, which end it. It may act
  // (end connections, wait) before it answers and runs without the recorder's lock. Unscripted,
  // the answer is Go Back.
  void script_answers(std::function<int(int round)> answer);

  std::vector<std::string> lines() const { return locked(lines_); }
  std::vector<Status> statuses() const { return locked(statuses_); }
  std::vector<std::string> errors() const { return locked(errors_); }
  int questions_asked() const { return locked(questions_); }
  int textures_reloaded() const { return locked(textures_reloaded_); }
  int external_connections() const { return locked(external_); }
  // True when some line equals text exactly.
  bool has_line(const std::string& text) const;
  // Waits up to timeout_ms for a line equal to text.
  bool wait_for_line(const std::string& text, int timeout_ms = 10000) const;
  void clear();

 private:
  template <typename T>
  T locked(const T& value) const {
    std::lock_guard lock(mutex_);
    return value;
  }
  template <typename T, typename V>
  int push(std::vector<T>& to, V&& value) {
    std::lock_guard lock(mutex_);
    to.emplace_back(std::forward<V>(value));
    return 1;
  }
  void count(int& counter) {
    std::lock_guard lock(mutex_);
    ++counter;
  }

  mutable std::mutex mutex_;
  std::condition_variable boxes_changed_;
  bool boxes_held_ = false;
  int boxes_open_ = 0;
  bool categories_[3] = {true, true, true};
  std::vector<std::string> lines_;
  std::vector<Status> statuses_;
  std::vector<std::string> errors_;
  std::function<int(int)> answer_;
  int textures_reloaded_ = 0;
  int questions_ = 0;
  int external_ = 0;
};

}  // namespace kw::test
