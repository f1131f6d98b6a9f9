// How the engine, the filters and the configuration report to the user without knowing any
// window: free functions that dispatch to one installed Frontend. The desktop program installs
// its windows, kestrelwickd a console frontend, tests a recording one. With none installed log
// lines are dropped, both log categories are off, status texts and boxes go nowhere, and the
// active-connections question is answered "Go Back".
//
// Any thread may call these. A frontend must never make a caller wait for the user-interface
// thread while that caller holds log_lock (see log_lock_op); the Qt frontend queues instead.
#pragma once

#include <cstdint>

namespace kw {

// Colours of status texts and log lines, 0xRRGGBB.
using Rgb = uint32_t;
inline constexpr Rgb kGreen = 0x00FF00;
inline constexpr Rgb kCyan = 0x00FFFF;
inline constexpr Rgb kRed = 0xFF0000;
inline constexpr Rgb kYellow = 0xFFFF00;
inline constexpr Rgb kWhite = 0xFFFFFF;
inline constexpr Rgb kMagenta = 0xFF00FF;

// Results of the "Active Connections - Can't load configuration" question: the button that
// ended it ("&Go Back" gives 1, a closed box 0) or what the handler returned.
inline constexpr int kAskClosed = 0;
inline constexpr int kAskGoBack = 1;
// The answers the handler is called with: "&Retry" and "&Kill Connections". They differ from
// the results above, so a scripted frontend can mix both in one list.
inline constexpr int kAnswerRetry = 2;
inline constexpr int kAnswerKillConnections = 3;
// A handler returns 0 to keep the question open, anything else to end it with that result.
using AskHandler = int (*)(int answer);

class Frontend {
 public:
  virtual ~Frontend() = default;
  // 1 when the line was taken, 0 when it was dropped (no log window, or paused).
  virtual int add_log_line(const char* text) = 0;
  virtual int log_category_on(int code) = 0;
  virtual void set_log_status(const char* text) = 0;
  virtual void set_status_text(const char* text, Rgb colour) = 0;
  // The application error box: caption "Kestrelwick Application Error", exclamation icon.
  // Returns when the user has closed it (a console frontend returns at once).
  virtual void show_application_error(const char* text) = 0;
  virtual int ask_active_connections(AskHandler handler) = 0;
  // The count of active connections changed: "Active connections: NN" in green on the status
  // line and in the log window's status bar. A frontend may show fewer of these texts.
  virtual void show_active_connections(int count);
  // The texture paths of the settings changed (configuration load); reload and repaint.
  virtual void reload_textures() {}
  // A peer from outside loopback knocked: the listener offers the log window.
  virtual void external_connection_seen() {}
};

// Installs the frontend (none uninstalls). The caller keeps it alive while installed.
void install_frontend(Frontend* frontend);
Frontend* installed_frontend();

int add_log_line(const char* text);
// printf-style add_log_line; the text is cut at 2047 characters.
int add_log_linef(const char* format, ...) __attribute__((format(printf, 1, 2)));
int log_category_on(int code);
void set_log_status(const char* text);
void set_status_text(const char* text, Rgb colour);
void set_status_textf(Rgb colour, const char* format, ...) __attribute__((format(printf, 2, 3)));
void show_application_error(const char* text);
int ask_active_connections(AskHandler handler);
void show_active_connections(int count);
void reload_textures();
void external_connection_seen();

// log_lock: a thread holds it while it writes a block of lines that must stay together.
// Codes 1 create, 2 acquire, 3 release, 4 destroy; returns 1.
int log_lock_op(int op);

class LogLock {
 public:
  LogLock() { log_lock_op(2); }
  ~LogLock() { log_lock_op(3); }
  LogLock(const LogLock&) = delete;
  LogLock& operator=(const LogLock&) = delete;
};

// Category codes of log_category_on.
inline constexpr int kLogHtmlFilters = 1;
inline constexpr int kLogHttpHeaders = 2;

}  // namespace kw
