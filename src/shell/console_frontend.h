// The frontend of kestrelwickd: log lines to standard output, status texts and error boxes to
// standard error. Both log categories are on, as in a freshly opened log window, unless the
// options switch one off. On a terminal each line is coloured by its category letter (which is
// then not shown) and written at once; otherwise the letter stays as the first character, so
// scripts can tell the categories apart, and lines gather into blocks that a writer thread puts
// out with one write each: when a block is full, or 50 ms after its first line. Any thread may
// call it; lines are never split or reordered. A status text equal to the one shown last is not
// repeated. When the status stream is no terminal, the count of active connections is written
// at most once a second, and whenever it falls to 0, instead of twice for every connection. The
// active-connections question of a configuration load is answered without a user: retry every
// 100 ms for up to 10 s, then Kill Connections, each step said on the status stream.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "report/frontend.h"

namespace kw {

struct ConsoleOptions {
  bool log_terminal = false;     // the log stream is a terminal: colour, each line at once
  bool status_terminal = false;  // the status stream is a terminal: every connection count
  bool html_filters = true;      // log category 1, the filter hits
  bool http_headers = true;      // log category 2, request and reply heads
};

class ConsoleFrontend : public Frontend {
 public:
  ConsoleFrontend(std::FILE* log, std::FILE* status, ConsoleOptions options);
  // Writes what is gathered and stops the writer thread.
  ~ConsoleFrontend() override;
  ConsoleFrontend(const ConsoleFrontend&) = delete;
  ConsoleFrontend& operator=(const ConsoleFrontend&) = delete;

  int add_log_line(const char* text) override;
  int log_category_on(int code) override;
  void set_log_status(const char* text) override;
  void set_status_text(const char* text, Rgb colour) override;
  void show_application_error(const char* text) override;
  int ask_active_connections(AskHandler handler) override;
  void show_active_connections(int count) override;

  // Writes the lines gathered so far (before the program ends without running destructors).
  void flush();

 private:
  // A line of its own on the status stream (not a status text).
  void say(const char* text);
  void run_writer();
  // Writes the gathered block; called with mutex_ held by `lock`, which it releases while the
  // block is written (write_mutex_ keeps the blocks in order).
  void write_block(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::string last_status_;  // the status text written last; guarded by mutex_
  std::string block_;        // log lines not yet written; guarded by mutex_
  bool stopping_ = false;    // guarded by mutex_
  std::condition_variable gathered_;
  std::chrono::steady_clock::time_point count_shown_{};  // guarded by mutex_
  std::mutex write_mutex_;
  std::string writing_;  // the block being written; guarded by write_mutex_
  std::FILE* log_;
  std::FILE* status_;
  const ConsoleOptions options_;
  std::thread writer_;
};

}  // namespace kw
