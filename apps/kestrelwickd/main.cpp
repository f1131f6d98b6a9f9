// kestrelwickd: the proxy engine without windows. Log lines go to standard output, status
// texts to standard error. SIGINT and SIGTERM shut down in order: the stop flag is set, every
// socket is shut down (which ends the listener and all connections), and the program exits 0.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "config/settings.h"
#include "engine/listener.h"
#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "platform/net.h"
#include "shell/console_frontend.h"

namespace {

constexpr char kUsage[] =
    "usage: kestrelwickd [-p PORT] [FILE.cfg]\n"
    "Runs the Kestrelwick proxy without windows. It listens on PORT (8080 unless given) and\n"
    "serves browsers on 127.0.0.1 only. Log lines go to standard output, status texts to\n"
    "standard error. SIGINT or SIGTERM stops it.\n"
    "  -p PORT   listen on PORT (0 picks a free port; the log line \"Listening on port\"\n"
    "            names it)\n"
    "  -h        show this text\n";

int parse_port(const char* text) {
  char* end = nullptr;
  long port = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || port < 0 || port > 65535) return -1;
  return static_cast<int>(port);
}

}  // namespace

int main(int argc, char** argv) {
  int port = kw::kDefaultPort;
  const char* config = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "-p") == 0 && i + 1 < argc) {
      port = parse_port(argv[++i]);
      if (port < 0) {
        std::fprintf(stderr, "kestrelwickd: bad port \"%s\"\n%s", argv[i], kUsage);
        return 2;
      }
    } else if (argv[i][0] != '-' && config == nullptr) {
      config = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }

  // Signals are taken by sigwait below; every thread started from here on inherits the mask,
  // so no socket call is ever interrupted by them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  static kw::ConsoleFrontend frontend(stdout, stderr, isatty(STDOUT_FILENO) != 0);
  kw::install_frontend(&frontend);
  if (config != nullptr) {
    std::fprintf(stderr, "kestrelwickd: configuration files are not read yet; \"%s\" ignored\n",
                 config);
  }

  kw::settings_set_flags(kw::kLoadDefaultFlags);
  kw::settings().port.store(port);
  kw::connection_lock_op(1);
  kw::log_lock_op(1);
  kw::web_filter_lock_op(1);
  kw::header_filter_lock_op(1);
  kw::net_startup();
  kw::launch_listener(kw::settings_port());

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);

  kw::stop_requested.store(1);
  kw::net_cleanup();
  // Give the listener and the connections a moment to run their ends (they log their closing
  // lines); the process does not wait for threads that are never joined.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (kw::listener_running.load() != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}
