// Start-up and shutdown of the desktop program, in the designed order. Start-up: the locks,
// the single-instance check through the per-user socket "KestrelCls" (a second copy asks the
// first to come forward and ends with 0 before it reads any configuration), the frontend, the
// socket layer, the command-line rule, the configuration, the auto-run program, the main
// window (minimised when the auto-run program was started), the listener. Shutdown, after the
// event loop: the stop flag, the configuration freed, every socket shut down (which ends the
// listener and the connections), the started auto-run program asked to end.
//
// kestrelwick's main() makes the QApplication, runs start, the event loop and shut_down; the
// end-to-end tests run the same steps inside a test program. User-interface thread only; one
// DesktopProgram per process.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "platform/instance_socket.h"
#include "shell/desktop_frontend.h"
#include "shell/main_window.h"

class QSocketNotifier;

namespace kw {

// start's result when the program goes on to run its event loop.
inline constexpr int kRunEventLoop = -1;

// The window class whose name the single-instance socket carries.
inline constexpr char kMainWindowClass[] = "KestrelCls";

class DesktopProgram {
 public:
  DesktopProgram();
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  // Start-up with the program's command line as one text. kRunEventLoop when the program
  // runs; otherwise the exit code it ends with.
  int start(const std::string& command_line);
  // Shutdown; runs once.
  void shut_down();

  MainWindow* window() const { return window_.get(); }
  DesktopFrontend& frontend() { return frontend_; }
  // What the accepted close of the main window does once the frontend is uninstalled and the
  // log window closed: by default the event loop ends with 0.
  void set_quit(std::function<void()> quit) { quit_ = std::move(quit); }

 private:
  InstanceSocket instance_;
  DesktopFrontend frontend_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QSocketNotifier> instance_requests_;
  std::function<void()> quit_;
  bool started_ = false;
  bool shut_down_ = false;
};

}  // namespace kw
