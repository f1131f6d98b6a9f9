// The desktop program's frontend: dialogs on the user-interface thread, log lines through the
// log queue, status texts kept and shown by the status line listener.
#include "shell/desktop_frontend.h"

#include <QThread>

#include "dialogs/message_dialogs.h"
#include "shell/log_queue.h"
#include "base/settings.h"

namespace kw {

DesktopFrontend::DesktopFrontend() = default;

DesktopFrontend::~DesktopFrontend() = default;

void DesktopFrontend::set_owner(QWidget* owner) { owner_ = owner; }

void DesktopFrontend::set_status_listener(StatusListener listener) {
  status_listener_ = std::move(listener);
}

int DesktopFrontend::add_log_line(const char* text) { return log_queue().add(text); }

int DesktopFrontend::log_category_on(int code) { return log_queue().category_on(code); }

void DesktopFrontend::set_log_status(const char* text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    log_status_ = text ? text : "";
  }
  log_queue().set_status(text);
}

void DesktopFrontend::set_status_text(const char* text, Rgb colour) {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status_.text = text ? text : "";
    status_.colour = colour;
    if (QThread::currentThread() != ui_thread_.thread() && !status_posted_) {
      status_posted_ = true;
      post = true;
    }
  }
  if (QThread::currentThread() == ui_thread_.thread()) {
    deliver_status();
  } else if (post) {
    QMetaObject::invokeMethod(
        &ui_thread_, [this] { deliver_status(); }, Qt::QueuedConnection);
  }
}

void DesktopFrontend::deliver_status() {
  Status newest;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status_posted_ = false;
    newest = status_;
  }
  if (status_listener_) status_listener_(newest);
}

DesktopFrontend::Status DesktopFrontend::status_text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

std::string DesktopFrontend::log_status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_status_;
}

void DesktopFrontend::on_ui_thread(const std::function<void()>& work) {
  if (QThread::currentThread() == ui_thread_.thread()) {
    work();
  } else {
    QMetaObject::invokeMethod(&ui_thread_, work, Qt::BlockingQueuedConnection);
  }
}

void DesktopFrontend::show_application_error(const char* text) {
  const std::string copy = text ? text : "";
  on_ui_thread([&] { show_application_error_box(owner_, copy.c_str()); });
}

int DesktopFrontend::ask_active_connections(AskHandler handler) {
  int result = kAskClosed;
  on_ui_thread([&] {
    result = kw::ask_active_connections(owner_, [handler](int answer) {
      return handler ? handler(answer) : 0;
    });
  });
  return result;
}

void DesktopFrontend::reload_textures() {
  on_ui_thread([] { record_texture_load(load_textures()); });
}

void record_texture_load(const TextureLoadReport& report) {
  for (TextureIndex which : report.unreadable) {
    std::string& path = settings().texture_paths[which];
    kw::show_application_error(("Failed to load texture bitmap:\n" + path).c_str());
    path.clear();
  }
  if (report.palette_display) settings_add_flags(PaletteDisplay);
}

}  // namespace kw
