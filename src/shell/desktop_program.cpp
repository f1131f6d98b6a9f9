// The desktop program's start-up and shutdown steps.
#include "shell/desktop_program.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "base/settings.h"
#include "config/config_commands.h"
#include "engine/listener.h"
#include "platform/net.h"
#include "shell/auto_run.h"
#include "shell/log_window.h"
#include "shell/main_commands.h"
#include "shell/main_window_record.h"
#include "shell/program_locks.h"

namespace kw {

DesktopProgram::DesktopProgram() : quit_([] { QCoreApplication::exit(0); }) {}

DesktopProgram::~DesktopProgram() {
  if (installed_frontend() == &frontend_) install_frontend(nullptr);
}

int DesktopProgram::start(const std::string& command_line) {
  MainWindowRecord& record = main_window_record();

  // The four locks exist before any other thread.
  create_program_locks();

  // Only the first copy runs; a later one has asked it forward by connecting. A name that
  // cannot be claimed at all (no safe directory) does not stop the program.
  if (instance_.claim(kMainWindowClass) == kInstanceOther) return 0;

  install_frontend(&frontend_);
  if (!net_startup()) {
    show_application_error("Can't start WSAStartup()");
    install_frontend(nullptr);
    return 0;
  }

  const StartupArgument argument = classify_command_line(command_line);
  if (argument.has_auto_run_argument) {
    hold_auto_run_argument(record.auto_run, argument.auto_run_argument);
  }

  startup_load(argument.config_file.empty() ? nullptr : argument.config_file.c_str());

  bool launched = false;
  if ((settings_flags() & EnableAutoRun) || record.auto_run.argument_waiting) {
    launched = kw::launch_auto_run(record.auto_run, ctrl_key_held()) == kAutoRunLaunched;
  }

  window_ = std::make_unique<MainWindow>(record);
  window_->connect_frontend(frontend_);
  window_->set_close_handler([this] {
    // No worker may hand a box to the user-interface thread once its loop ends.
    install_frontend(nullptr);
    close_log_window();
    if (quit_) quit_();
  });
  window_->show(launched);

  if (instance_.fd() >= 0) {
    instance_requests_ = std::make_unique<QSocketNotifier>(instance_.fd(), QSocketNotifier::Read);
    QObject::connect(instance_requests_.get(), &QSocketNotifier::activated, [this] {
      if (instance_.take_requests() > 0 && window_) window_->bring_forward();
    });
  }

  launch_listener(settings_port());
  started_ = true;
  return kRunEventLoop;
}

void DesktopProgram::shut_down() {
  if (!started_ || shut_down_) return;
  shut_down_ = true;
  if (installed_frontend() == &frontend_) install_frontend(nullptr);
  close_log_window();
  stop_requested.store(1);
  free_config();
  net_cleanup();
  close_auto_run(main_window_record().auto_run);
  instance_requests_.reset();
}

}  // namespace kw
