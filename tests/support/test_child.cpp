// A stand-in for a program started by the proxy (the auto-run browser): it appends what it was
// started with to a record file, then stays alive until SIGTERM, or ends at once with --exit.
//
//   kw_test_child RECORD_FILE [--exit] [ARG...]
//
// Each start appends one block, written with a single write so that blocks never interleave:
//   run PID extra_fds=N sigpipe=default|changed
//   arg TEXT            (one line per argument after RECORD_FILE)
//   end
// and a SIGTERM appends "terminated PID". extra_fds counts the descriptors above 2 that were
// open at start, before this program opened anything itself.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

namespace {

volatile sig_atomic_t terminated = 0;

void on_term(int) { terminated = 1; }

void append(const char* path, const std::string& text) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = ::write(fd, text.data(), text.size());
  (void)ignored;
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  int extra_fds = 0;
  for (int fd = 3; fd < 1024; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) ++extra_fds;
  }
  struct sigaction pipe_action {};
  ::sigaction(SIGPIPE, nullptr, &pipe_action);
  bool sigpipe_default = pipe_action.sa_handler == SIG_DFL;
  if (argc < 2) return 2;

  // A test that dies early must not leave this behind for long.
  ::alarm(300);
  // SIGTERM stays blocked except inside sigsuspend, so it cannot slip in between the test of
  // the flag and the wait.
  sigset_t term_set, waiting_mask;
  sigemptyset(&term_set);
  sigaddset(&term_set, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &term_set, &waiting_mask);
  sigdelset(&waiting_mask, SIGTERM);
  struct sigaction term_action {};
  term_action.sa_handler = on_term;
  ::sigaction(SIGTERM, &term_action, nullptr);

  std::string pid = std::to_string(::getpid());
  std::string block = "run " + pid + " extra_fds=" + std::to_string(extra_fds) +
                      " sigpipe=" + (sigpipe_default ? "default" : "changed") + "\n";
  bool exit_now = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--exit") == 0) exit_now = true;
    block += std::string("arg ") + argv[i] + "\n";
  }
  block += "end\n";
  append(argv[1], block);
  if (exit_now) return 0;

  while (!terminated) ::sigsuspend(&waiting_mask);
  append(argv[1], "terminated " + pid + "\n");
  return 0;
}
