// The desktop program's frontend: dialogs on the user-interface thread, status texts kept.
#include "shell/desktop_frontend.h"

#include <QThread>

#include "dialogs/message_dialogs.h"
#include "skin/textures.h"

namespace kw {

DesktopFrontend::DesktopFrontend() = default;

DesktopFrontend::~DesktopFrontend() = default;

void DesktopFrontend::set_owner(QWidget* owner) { owner_ = owner; }

int DesktopFrontend::add_log_line(const char*) { return 0; }

int DesktopFrontend::log_category_on(int) { return 0; }

void DesktopFrontend::set_log_status(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_status_ = text ? text : "";
}

void DesktopFrontend::set_status_text(const char* text, Rgb colour) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.text = text ? text : "";
  status_.colour = colour;
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
    result = kw::ask_active_connections(
        owner_, [handler](int control) { return handler ? handler(control) : 0; });
  });
  return result;
}

void DesktopFrontend::reload_textures() {
  on_ui_thread([] { load_textures(); });
}

}  // namespace kw
