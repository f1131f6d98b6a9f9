// The main window "The Kestrelwick" (class "KestrelCls", template 101): the five filter
// switches, Bypass and Abort, the buttons that open the editors, the log window and the
// preferences, the status line, menu 101 with accelerator table 113, and the three icon
// buttons on the menu bar (Save Last Config, Reload Last Config, Launch Auto-Run Program) with
// their hints. What each id does is the command table of main_commands.h; this class carries
// the actions out and keeps the controls in step with the settings (sync_controls,
// update_menu_icons).
//
// Closing asks "Save Configuration Changes" while the configuration is marked changed; an
// accepted close hides the window and runs the close handler (which by default ends the event
// loop with 0). One main window per program (main_window()); user-interface thread only.
#pragma once

#include <QPoint>
#include <functional>
#include <memory>
#include <string>

#include "shell/desktop_frontend.h"
#include "shell/main_commands.h"
#include "shell/main_window_record.h"
#include "skin/skinned_dialog.h"

namespace kw {

// The main window's template, menu and accelerators.
const DialogTemplate& main_window_template();
const AcceleratorTable& main_window_accelerators();

class MainWindow : public SkinnedDialogProc, public MainCommandTarget {
 public:
  explicit MainWindow(MainWindowRecord& record);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  Dialog& dialog() { return *dialog_; }
  // Shows the window, minimised when an auto-run program was started at start-up.
  void show(bool minimised);
  // A second copy of the program asked for this window: restore it and bring it forward.
  void bring_forward();
  // Makes the frontend show its status texts here and own its dialogs by this window.
  void connect_frontend(DesktopFrontend& frontend);
  // The status line: the text in the colour, kept in the record.
  void show_status(const std::string& text, Rgb colour);
  std::string status_text() const;
  // What an accepted close does after the window is hidden; by default the event loop ends
  // with 0.
  void set_close_handler(std::function<void()> handler) { close_handler_ = std::move(handler); }
  bool is_closed() const { return closed_; }

  // Check boxes from their flags, Bypass from Enable, 1001 to 1004 enabled while Enable is
  // set, the menu-bar items owner-drawn, then update_menu_icons.
  void sync_controls();
  // The File menu at a screen position; (-1, -1), the keyboard's marker, puts it at the top
  // left corner of the client area.
  void popup_file_menu(QPoint global);

  // --- DialogProc ---
  void on_init(Dialog& d) override;
  void on_command(Dialog& d, int id, int code) override;
  void on_close(Dialog& d) override;
  void on_help(Dialog& d) override;
  void on_draw_item(Dialog& d, DrawItem& item) override;
  void on_menu_highlight(Dialog& d, int id) override;
  QSize on_measure_item(Dialog& d, int id) override;
  QColor on_text_colour(Dialog& d, int id) override;
  QColor on_static_background(Dialog& d, int id) override;
  void on_context_menu(Dialog& d, QPoint global) override;

  // --- MainCommandTarget ---
  void bypass_toggled() override;
  void abort_connections() override;
  void open_log_window() override;
  void open_web_filter_list() override;
  void open_header_filter_list() override;
  void open_preferences() override;
  void open_secure_pages() override;
  void open_proxy_selector() override;
  void load_config_dialog() override;
  void save_config_dialog() override;
  void request_close() override;
  void save_default_config() override;
  void show_about() override;
  void reload_default_config() override;
  void save_last_config() override;
  void reload_last_config() override;
  void launch_auto_run() override;
  void show_help(int topic) override;
  void update_menu_icons() override;

 protected:
  const QPixmap* owner_draw_texture(Dialog& d, int id) override;

 private:
  MainWindowRecord& record_;
  std::unique_ptr<Dialog> dialog_;
  std::function<void()> close_handler_;
  std::string status_text_ = "...";
  bool closed_ = false;
};

// The main window while one exists, else none.
MainWindow* main_window();
// The main window's File menu at a screen position, for the main window and the log window;
// nothing while there is no main window.
void popup_file_menu(QWidget* window, QPoint global);
// Whether the Ctrl key is held down at this moment.
bool ctrl_key_held();

}  // namespace kw
