// The frontend of the desktop program: how the engine and the configuration reach the user's
// windows. Questions and error boxes are the program's skinned message dialogs, always shown
// on the user-interface thread: a call from another thread is handed over and waits there
// until the user has closed the box, as the designed box held its caller. Texture reloads run
// on the user-interface thread too. Log lines, the categories and the log window's status go
// through the log queue (log_queue.h), so no logging thread ever waits for the user-interface
// thread. Status texts are kept (the newest one with its colour) and handed to the status line
// listener (the main window) on the user-interface thread: at once from that thread, through
// the event loop from any other, where several texts set in a row show as the newest one.
// Make it on the user-interface thread, and uninstall it before that thread's event loop ends:
// a worker handing over a box afterwards would wait for a loop that no longer runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <mutex>
#include <string>

#include "report/frontend.h"
#include "skin/textures.h"

namespace kw {

class DesktopFrontend : public Frontend {
 public:
  struct Status {
    std::string text;
    Rgb colour = kGreen;
  };

  DesktopFrontend();
  ~DesktopFrontend() override;

  // The window that owns the dialogs (the main window); none: they have no owner.
  void set_owner(QWidget* owner);
  // Shows status texts (the main window's status line); none: they are only kept.
  using StatusListener = std::function<void(const Status&)>;
  void set_status_listener(StatusListener listener);

  int add_log_line(const char* text) override;
  int log_category_on(int code) override;
  void set_log_status(const char* text) override;
  void set_status_text(const char* text, Rgb colour) override;
  void show_application_error(const char* text) override;
  int ask_active_connections(AskHandler handler) override;
  void reload_textures() override;

  // The last status text and its colour; the last log window status.
  Status status_text() const;
  std::string log_status() const;

 private:
  // Runs `work` on the user-interface thread and returns when it has finished.
  void on_ui_thread(const std::function<void()>& work);
  // Hands the newest status text to the listener (user-interface thread).
  void deliver_status();

  QObject ui_thread_;  // lives on the user-interface thread; carries the handed-over calls
  QPointer<QWidget> owner_;
  mutable std::mutex mutex_;  // guards status_, log_status_ and status_posted_
  Status status_;
  std::string log_status_;
  bool status_posted_ = false;      // a delivery is on its way through the event loop
  StatusListener status_listener_;  // user-interface thread only
};

// Records in the settings what a texture load found: each unreadable file is reported with
// "Failed to load texture bitmap:\n<path>" and its path dropped; a palette display sets
// PaletteDisplay. User-interface thread only.
void record_texture_load(const TextureLoadReport& report);

}  // namespace kw
