// Console frontend of kestrelwickd; see console_frontend.h. One mutex keeps lines whole when
// several connection threads log at once.
#include "shell/console_frontend.h"

#include <chrono>

#include "platform/wait_until.h"

namespace kw {
namespace {

// A block is written once it holds this much, or kGatherTime after its first line.
constexpr size_t kBlockBytes = 64 * 1024;
constexpr auto kGatherTime = std::chrono::milliseconds(50);
// How often a log file or pipe is told the changing count of active connections.
constexpr auto kCountInterval = std::chrono::seconds(1);

// ANSI colour of a category letter: W white, R red, C cyan, G green, Y yellow, V magenta.
const char* ansi_colour(char letter) {
  switch (letter) {
    case 'R':
      return "\033[31m";
    case 'G':
      return "\033[32m";
    case 'Y':
      return "\033[33m";
    case 'V':
      return "\033[35m";
    case 'C':
      return "\033[36m";
    default:
      return "\033[37m";
  }
}

}  // namespace

ConsoleFrontend::ConsoleFrontend(std::FILE* log, std::FILE* status, ConsoleOptions options)
    : log_(log), status_(status), options_(options) {
  if (!options_.log_terminal) writer_ = std::thread(&ConsoleFrontend::run_writer, this);
}

ConsoleFrontend::~ConsoleFrontend() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    gathered_.notify_one();
  }
  writer_.join();
}

int ConsoleFrontend::add_log_line(const char* text) {
  std::lock_guard lock(mutex_);
  if (!options_.log_terminal) {
    const bool was_empty = block_.empty();
    block_.append(text).push_back('\n');
    if (was_empty || block_.size() >= kBlockBytes) gathered_.notify_one();
    return 1;
  }
  const char* shown = *text != '\0' ? text + 1 : text;
  std::fprintf(log_, "%s%s\033[0m\n", ansi_colour(*text), shown);
  std::fflush(log_);
  return 1;
}

int ConsoleFrontend::log_category_on(int code) {
  if (code == kLogHtmlFilters) return options_.html_filters;
  if (code == kLogHttpHeaders) return options_.http_headers;
  return 1;
}

// A console has no log window status bar; the count it would show also comes as a status text.
void ConsoleFrontend::set_log_status(const char* text) {}

void ConsoleFrontend::set_status_text(const char* text, Rgb colour) {
  std::lock_guard lock(mutex_);
  // A status line shows one text until the next: the same text again changes nothing (the
  // connection count is shown again on every retry of a waiting load).
  if (last_status_ == text) return;
  last_status_ = text;
  std::fprintf(status_, "%s\n", text);
  std::fflush(status_);
}

void ConsoleFrontend::show_application_error(const char* text) {
  std::lock_guard lock(mutex_);
  std::fprintf(status_, "Kestrelwick Application Error: %s\n", text);
  std::fflush(status_);
}

// Nobody can be asked: the connections get ten seconds to end on their own (a retry every
// 100 ms), then they are killed. When even that does not free them the load goes back.
int ConsoleFrontend::ask_active_connections(AskHandler handler) {
  say("Active Connections - Can't load configuration: retrying for up to 10 s");
  int result = 0;
  if (wait_until([&] { return (result = handler(kAnswerRetry)) != 0; }, std::chrono::seconds(10),
                 std::chrono::milliseconds(100))) {
    return result;
  }
  say("Active Connections - still active after 10 s: Kill Connections");
  if ((result = handler(kAnswerKillConnections)) != 0) return result;
  say("Active Connections - they did not end: Go Back, configuration not loaded");
  return kAskGoBack;
}

void ConsoleFrontend::show_active_connections(int count) {
  if (options_.status_terminal) return Frontend::show_active_connections(count);
  {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    // 0 is always said, so the last count written never claims connections that have ended.
    if (count != 0 && now - count_shown_ < kCountInterval) return;
    count_shown_ = now;
  }
  Frontend::show_active_connections(count);
}

void ConsoleFrontend::flush() {
  std::unique_lock lock(mutex_);
  write_block(lock);
}

void ConsoleFrontend::run_writer() {
  std::unique_lock lock(mutex_);
  for (;;) {
    gathered_.wait(lock, [&] { return !block_.empty() || stopping_; });
    if (block_.empty()) return;
    gathered_.wait_for(lock, kGatherTime,
                       [&] { return block_.size() >= kBlockBytes || stopping_; });
    write_block(lock);
  }
}

void ConsoleFrontend::write_block(std::unique_lock<std::mutex>& lock) {
  // Taken before mutex_ is let go, so blocks reach the stream in the order they were gathered;
  // let go before mutex_ is taken again, so the two locks are never awaited the other way round.
  std::unique_lock order(write_mutex_);
  writing_.swap(block_);
  lock.unlock();
  if (!writing_.empty()) {
    std::fwrite(writing_.data(), 1, writing_.size(), log_);
    std::fflush(log_);
    writing_.clear();
  }
  order.unlock();
  lock.lock();
}

void ConsoleFrontend::say(const char* text) {
  std::lock_guard lock(mutex_);
  std::fprintf(status_, "%s\n", text);
  std::fflush(status_);
  last_status_.clear();
}

}  // namespace kw
