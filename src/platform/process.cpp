// posix_spawnp behind ChildProcess; see process.h for what a started program inherits.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <utility>

extern char** environ;

namespace kw {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Owns the spawn attributes and file actions for one posix_spawnp call.
class SpawnSetup {
 public:
  SpawnSetup() {
    attr_ok_ = posix_spawnattr_init(&attr_) == 0;
    actions_ok_ = posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (attr_ok_) posix_spawnattr_destroy(&attr_);
    if (actions_ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Nothing but the standard descriptors, default dispositions for every signal (this process
  // ignores SIGPIPE), and no blocked signals (UI and worker threads may block some).
  bool prepare() {
    if (!attr_ok_ || !actions_ok_) return false;
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    return posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0 &&
           posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
           posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
           posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
  }

  const posix_spawnattr_t* attr() const { return &attr_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
  bool attr_ok_ = false;
  bool actions_ok_ = false;
};

}  // namespace

std::vector<std::string> split_command_line(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;  // a word has begun (possibly empty, as "" makes one)
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (is_blank(c) && !quoted) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word.push_back(c);
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    running();
    pid_ = std::exchange(other.pid_, 0);
  }
  return *this;
}

ChildProcess::~ChildProcess() { running(); }

int ChildProcess::spawn(const std::vector<std::string>& words, ChildProcess* out) {
  if (words.empty() || words[0].empty()) return 0;
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);

  SpawnSetup setup;
  if (!setup.prepare()) return 0;
  pid_t pid = 0;
  // glibc reports a program that cannot be executed as the result of this call.
  if (posix_spawnp(&pid, argv[0], setup.actions(), setup.attr(), argv.data(), environ) != 0) {
    return 0;
  }
  *out = ChildProcess(pid);
  return 1;
}

bool ChildProcess::running() {
  if (pid_ == 0) return false;
  pid_t r;
  do {
    r = ::waitpid(pid_, nullptr, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return true;
  // Ended and reaped now, or (ECHILD) reaped by someone else: either way the id is no longer
  // ours to signal.
  pid_ = 0;
  return false;
}

int ChildProcess::terminate() {
  if (!running()) return 0;
  return ::kill(pid_, SIGTERM) == 0 ? 1 : 0;
}

}  // namespace kw
