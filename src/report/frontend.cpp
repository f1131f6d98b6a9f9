// Dispatch of the frontend calls to the installed Frontend.
#include "report/frontend.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/designed_lock.h"

namespace kw {
namespace {

std::atomic<Frontend*> current{nullptr};
DesignedLock log_lock;

}  // namespace

void Frontend::show_active_connections(int count) {
  char text[64];
  std::snprintf(text, sizeof text, "Active connections: %02d", count);
  set_status_text(text, kGreen);
  set_log_status(text);
}

void install_frontend(Frontend* frontend) { current.store(frontend); }

Frontend* installed_frontend() { return current.load(); }

int add_log_line(const char* text) {
  Frontend* f = current.load();
  return f ? f->add_log_line(text) : 0;
}

int add_log_linef(const char* format, ...) {
  char line[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return add_log_line(line);
}

int log_category_on(int code) {
  Frontend* f = current.load();
  return f ? f->log_category_on(code) : 0;
}

void set_log_status(const char* text) {
  if (Frontend* f = current.load()) f->set_log_status(text);
}

void set_status_text(const char* text, Rgb colour) {
  if (Frontend* f = current.load()) f->set_status_text(text, colour);
}

void set_status_textf(Rgb colour, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  set_status_text(text, colour);
}

void show_application_error(const char* text) {
  if (Frontend* f = current.load()) f->show_application_error(text);
}

int ask_active_connections(AskHandler handler) {
  Frontend* f = current.load();
  return f ? f->ask_active_connections(handler) : kAskGoBack;
}

void show_active_connections(int count) {
  if (Frontend* f = current.load()) f->show_active_connections(count);
}

void reload_textures() {
  if (Frontend* f = current.load()) f->reload_textures();
}

void external_connection_seen() {
  if (Frontend* f = current.load()) f->external_connection_seen();
}

int log_lock_op(int op) { return log_lock.op(op); }

}  // namespace kw
