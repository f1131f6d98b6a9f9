// The headless engine with the twenty typical web filters of the benchmarks built in: the proxy
// the filtered whole-proxy benchmark measures, so that nothing but the filters and the log
// differs between its runs. No log is open, as in the desktop program with its log window
// closed; SIGINT or SIGTERM ends it.
//
//   filtering_proxy PORT [--off] [--log]
//     --off   the "HTML filters" switch off: nothing is filtered
//     --log   log lines to standard output and status texts to standard error, as kestrelwickd
//             writes them (every filter hit is a line)
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/settings.h"
#include "engine/listener.h"
#include "filters/web_filter.h"
#include "platform/net.h"
#include "realistic_page.h"
#include "shell/console_frontend.h"
#include "shell/program_locks.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: filtering_proxy PORT [--off]\n");
    return 2;
  }
  bool off = false;
  bool log = false;
  for (int i = 2; i < argc; ++i) {
    off |= std::strcmp(argv[i], "--off") == 0;
    log |= std::strcmp(argv[i], "--log") == 0;
  }
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  static kw::ConsoleFrontend frontend(stdout, stderr, kw::ConsoleOptions{});
  if (log) kw::install_frontend(&frontend);
  kw::create_program_locks();
  for (const kw::bench::TypicalFilter& f : kw::bench::typical_filters()) {
    if (kw::build_web_filter(nullptr, kw::FILTER_ACTIVE, f.name, nullptr, f.match, f.bounds,
                             f.limit, f.replace) != 1) {
      std::fprintf(stderr, "filter \"%s\" was not built\n", f.name);
      return 1;
    }
  }
  kw::settings_set_flags(kw::kLoadDefaultFlags & ~(off ? kw::FilterHTML : 0u));
  kw::settings().port.store(std::atoi(argv[1]));
  kw::net_startup();
  kw::launch_listener(kw::settings_port());

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  kw::stop_requested.store(1);
  kw::net_cleanup();
  frontend.flush();
  std::_Exit(0);
}
