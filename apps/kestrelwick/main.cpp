// kestrelwick: the desktop program. One optional argument: a name ending in ".cfg" is the
// configuration to load, any other text goes to the auto-run program. A second copy brings
// the first one forward and ends. See shell/desktop_program.h for the order of start-up and
// shutdown.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "shell/desktop_program.h"
#include "shell/main_commands.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The main window's close ends the program; closing the log or the help never does.
  app.setQuitOnLastWindowClosed(false);
  // Lives until the process ends: connection threads may still report through its frontend
  // while the process exits.
  static kw::DesktopProgram program;
  const int started = program.start(kw::join_arguments(argc, argv));
  if (started != kw::kRunEventLoop) return started;
  const int code = app.exec();
  program.shut_down();
  // Connection threads are never joined: the process ends here without running destructors
  // under their feet.
  std::fflush(nullptr);
  std::_Exit(code);
}
