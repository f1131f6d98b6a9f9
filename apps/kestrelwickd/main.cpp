// kestrelwickd: the proxy engine without windows. Log lines go to standard output, status
// texts to standard error; -q and the --no-... options switch log categories off. At start it loads default.cfg beside the program, or the .cfg file
// named on its command line; -p overrides the configured port, also after reloads. SIGHUP
// reloads the last configuration file, SIGUSR2 aborts every connection (the listener starts
// afresh on the same port). SIGINT and SIGTERM shut down in order: the stop flag is
// set, every socket is shut down (which ends the listener and all connections), the
// configuration is freed, and the program exits 0. It exits 1 when its first listener cannot
// listen and 2 for a bad command line or a named configuration file that cannot be read.
// SIGUSR1 prints every filter's hit count on standard output (filter_hits.h), and so does the
// end of a run, once the connections have ended. --check FILE only reports the mistakes in FILE
// (see config/config_check.h). --export-ca writes the certificate of the user's own authority
// (making the authority the first time) and exits: 0, or 1 with the reason on standard error.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/settings.h"
#include "config/config_check.h"
#include "config/config_commands.h"
#include "config/config_reader.h"
#include "engine/listener.h"
#include "filters/filter_hits.h"
#include "platform/net.h"
#include "platform/wait_until.h"
#include "secure/interception.h"
#include "shell/console_frontend.h"
#include "shell/program_locks.h"

namespace {

constexpr char kUsage[] =
    "usage: kestrelwickd [-p PORT] [-q] [--no-http-headers] [--no-html-filters] [FILE.cfg]\n"
    "       kestrelwickd --check FILE.cfg\n"
    "       kestrelwickd --export-ca FILE\n"
    "Runs the Kestrelwick proxy without windows, serving browsers on 127.0.0.1 only. It loads\n"
    "FILE.cfg, or default.cfg beside the program, and listens on the port that file names\n"
    "(8080 unless it names one). Log lines go to standard output, status texts to standard\n"
    "error. SIGHUP reloads the configuration file (active connections get 10 s to end, then\n"
    "they are killed); SIGUSR1 prints how often each filter struck, and so does the end of the\n"
    "run; SIGUSR2 aborts every connection; SIGINT or SIGTERM stops it.\n"
    "  -p PORT   listen on PORT whatever the configuration says (0 picks a free port; the\n"
    "            log line \"Listening on port\" names it)\n"
    "  --no-http-headers   do not log the request and reply heads\n"
    "  --no-html-filters   do not log the filter hits\n"
    "  -q        quiet: both of the above; errors and connection ends are still logged\n"
    "  --check FILE.cfg\n"
    "            load nothing: print each mistake in FILE.cfg as FILE:LINE: message, then a\n"
    "            summary line; exit status 0 without findings, 1 with some, 2 unreadable\n"
    "  --export-ca FILE   write the certificate of your own authority (made the first time,\n"
    "            in ~/.config/kestrelwick) to FILE for importing into a browser, then exit\n"
    "  -h        show this text\n";

int parse_port(const char* text) {
  char* end = nullptr;
  long port = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || port < 0 || port > 65535) return -1;
  return static_cast<int>(port);
}

}  // namespace

int main(int argc, char** argv) {
  int port_override = -1;
  const char* config = nullptr;
  kw::ConsoleOptions console;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--check") == 0 && i + 1 < argc) {
      return kw::check_config(argv[i + 1], stdout, stderr);
    }
    if (std::strcmp(argv[i], "--export-ca") == 0 && i + 1 < argc) {
      std::string error;
      if (!kw::export_inspection_certificate(argv[i + 1], &error)) {
        std::fprintf(stderr, "kestrelwickd: %s\n", error.c_str());
        return 1;
      }
      return 0;
    }
    if (std::strcmp(argv[i], "-p") == 0 && i + 1 < argc) {
      port_override = parse_port(argv[++i]);
      if (port_override < 0) {
        std::fprintf(stderr, "kestrelwickd: bad port \"%s\"\n%s", argv[i], kUsage);
        return 2;
      }
    } else if (std::strcmp(argv[i], "-q") == 0) {
      console.http_headers = console.html_filters = false;
    } else if (std::strcmp(argv[i], "--no-http-headers") == 0) {
      console.http_headers = false;
    } else if (std::strcmp(argv[i], "--no-html-filters") == 0) {
      console.html_filters = false;
    } else if (argv[i][0] != '-' && config == nullptr) {
      config = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }

  // Signals are taken by sigwait below; every thread started from here on inherits the mask,
  // so no socket call is ever interrupted by them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // A file the user named that cannot be read is a mistake to report, not a reason to serve
  // without filters.
  if (config != nullptr) {
    if (int error = kw::config_file_error(config)) {
      std::fprintf(stderr, "kestrelwickd: cannot read configuration file %s: %s\n", config,
                   std::strerror(error));
      return 2;
    }
  }

  console.log_terminal = isatty(STDOUT_FILENO) != 0;
  console.status_terminal = isatty(STDERR_FILENO) != 0;
  static kw::ConsoleFrontend frontend(stdout, stderr, console);
  kw::install_frontend(&frontend);
  kw::create_program_locks();
  kw::net_startup();
  // A failed load is reported by startup_load; the proxy then runs with the load default.
  kw::startup_load(config);
  if (port_override >= 0) kw::settings().port.store(port_override);
  kw::launch_listener(kw::settings_port());
  // The first listener must come up; later ones (after a reload or a port change) only report
  // their failure, so that a reload onto a free port brings the proxy back.
  kw::wait_until([] { return kw::listening_port() != 0 || kw::listener_failed.load() != 0; },
                 std::chrono::seconds(30));
  if (kw::listening_port() == 0) {
    frontend.flush();
    std::fflush(stderr);
    std::_Exit(1);
  }

  for (;;) {
    int signal_number = 0;
    sigwait(&signals, &signal_number);
    if (signal_number == SIGUSR1) {
      frontend.flush();  // the log lines gathered so far come before the counts
      kw::print_filter_hits(stdout);
      continue;
    }
    if (signal_number == SIGUSR2) {
      kw::restart_listener();
      continue;
    }
    if (signal_number != SIGHUP) break;
    kw::reload_last_config();
    if (port_override >= 0) kw::settings().port.store(port_override);
  }

  kw::stop_requested.store(1);
  kw::net_cleanup();
  // Give the listener and the connections a moment to run their ends (they log their closing
  // lines); the process does not wait for threads that are never joined.
  kw::wait_until(
      [] { return kw::listener_running.load() == 0 && kw::active_connection_count() == 0; },
      std::chrono::seconds(2));
  frontend.flush();
  kw::print_filter_hits(stdout);
  kw::free_config();
  frontend.flush();
  std::fflush(stderr);
  std::_Exit(0);
}
