// The "HTTP Message Log" window (class "HtmMsgLog"): a black owner-drawn list of the newest 500
// log lines, each in the colour its first character names (the character itself is never
// shown), a menu to copy, pause, reset, select, switch the two categories and stop logging,
// and a status bar with "Capture" or "Paused..." and the active-connection count.
//
// Lines reach the window through the log queue (log_queue.h): the window opens the queue when
// it is made and closes it when it goes, and drains it on the user-interface thread whenever
// the queue wakes it, showing each batch in one step. At most one log window exists
// (log_window()); it deletes itself when closed and leaves its size in the main window record
// for the next one.
//
// Ctrl+F opens a find bar under the list: the kept lines that hold its text are highlighted,
// and F3 / Shift+F3 (or Enter / Shift+Enter in the bar) select the next / previous of them,
// wrapping around; Escape closes the bar. A right click on a line that names a connection
// offers "Show only connection N": the window then shows that connection's filter hits alone
// (the other lines stay kept and come back with "Show all lines"), and finding steps through
// the lines shown. User-interface thread only.
#pragma once

#include <QWidget>

#include "report/frontend.h"
#include "shell/main_window_record.h"
#include "ui/control_host.h"

namespace kw {

class ListBox;
class LogFindBar;
class MenuBar;
class StatusBar;

// Menu 137 of the log window.
enum LogWindowId : int {
  kLogList = 1,
  kLogStatusBar = 2,
  kLogCopyCommand = 40011,
  kLogPauseCommand = 40012,
  kLogResetCommand = 40013,
  kLogSelectAllCommand = 40014,
  kLogStopCommand = 40015,
  kLogHtmlFiltersCommand = 40023,
  kLogHttpHeadersCommand = 40024,
  kLogHelpCommand = 40025,
  // The find bar and the connection view; not on the menu bar.
  kLogFindEdit = 3,
  kLogFindCommand = 40101,
  kLogFindNextCommand = 40102,
  kLogFindPreviousCommand = 40103,
};

inline constexpr int kLogHelpTopic = 29;
inline constexpr int kLogLineHeight = 13;
// The list shows at least this many lines while the user sizes the window.
inline constexpr int kLogMinimumLines = 3;

// The colour of a line whose first character is `first`: W white, R red, C cyan, G green,
// Y yellow, V magenta, anything else white.
Rgb log_line_colour(char first);

class LogWindow : public QWidget, public ControlHost {
 public:
  explicit LogWindow(MainWindowRecord& record);
  ~LogWindow() override;

  ListBox* list() const { return list_; }
  StatusBar* status_bar() const { return status_bar_; }
  MenuBar* menu_bar() const { return menu_bar_; }
  int line_count() const;
  // The kept lines, each with its category character.
  std::vector<std::string> lines() const;
  // The lines the list shows: all kept lines, or one connection's filter hits.
  std::vector<std::string> shown_lines() const;

  LogFindBar* find_bar() const { return find_bar_; }
  // The shown rows that hold the find bar's text, ascending (none while the bar is closed).
  std::vector<int> match_rows() const;
  // Shows only the filter hits of a connection; -1 shows every kept line again.
  void show_connection(int number);
  int shown_connection() const { return connection_; }

  // Shows what waits in the queue (the window does this on its own when the queue wakes it).
  void drain();
  // The commands of menu 137.
  void run_command(int id);

  // --- ControlHost ---
  void control_command(int id, int code) override;
  void control_draw(DrawItem& item) override;
  QColor control_text_colour(int id) override;
  bool control_input(int id, const InputEvent& event) override;
  QSize control_measure(int id) override;
  QWidget* control_widget(int id) override;
  QWidget* client_area() override { return this; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void append_lines(std::vector<std::string>& lines);
  void copy_selection();
  void toggle_pause();
  void reset();
  void toggle_category(int code, int command);
  void post_command(int id);
  void open_find_bar();
  void close_find_bar();
  void find_text_changed();
  // Selects the next (previous) match after the caret line, or from it on, and shows it.
  void step_match(bool forward, bool from_caret_line = false);
  void show_find_result();
  bool find_bar_key(const InputEvent& event);
  // Hides the shown rows from `first` on that are not the shown connection's filter hits.
  void hide_other_connections(int first);
  bool line_matches(const QString& text) const;
  void let_go();
  void lay_out();
  // Everything of the window's height that is not list lines.
  int fixed_height() const;

  MainWindowRecord& record_;
  MenuBar* menu_bar_;
  ListBox* list_;
  StatusBar* status_bar_;
  bool let_go_ = false;  // the queue is closed and the size stored
  LogFindBar* find_bar_;
  std::string needle_;  // the find bar's text while it is open
  int connection_ = -1;  // the connection whose filter hits are shown alone
};

// Opens the log window, or brings the open one forward. 1 when a log window is shown.
int open_log_window();
// The open log window, or none.
LogWindow* log_window();
// Closes the open log window, if any (at program exit).
void close_log_window();

}  // namespace kw
