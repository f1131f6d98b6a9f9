// The main window's logic without the window: which command each control and menu id runs and
// whether it marks the configuration changed, the flag toggles, what the controls show for a
// given flag word (sync_controls and update_menu_icons read it from here), and the command-line
// rule of start-up. The window (main_window.h) carries out the actions through a
// MainCommandTarget; tests put a recording target in its place.
//
// Everything here runs on the user-interface thread; the flag word it changes is read by the
// connection threads (settings.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kw {

// Control and menu ids of the main window.
enum MainWindowId : int {
  kFiltersFrame = 1000,
  kWebPageFiltersCheck = 1001,
  kOutgoingHeadersCheck = 1002,
  kIncomingHeadersCheck = 1003,
  kFreezeGifCheck = 1004,
  kRemoteProxyCheck = 1005,
  kEditFrame = 1006,
  kBypassToggle = 1007,
  kAbortButton = 1008,
  kLogWindowButton = 1013,
  kWebPageButton = 1014,
  kHeadersButton = 1015,
  kConfigButton = 1016,
  kProxyButton = 1017,
  kStatusLine = 1018,
  kFiltersTitle = 1041,
  kEditTitle = 1042,

  kLoadConfigCommand = 40001,
  kSaveConfigCommand = 40002,
  kExitCommand = 40003,
  kSaveDefaultCommand = 40004,
  kAboutCommand = 40005,
  kReloadDefaultCommand = 40006,
  kSaveLastCommand = 40016,
  kReloadLastCommand = 40017,
  kLaunchAutoRunCommand = 40021,
  kMenuSpacer = 40022,
  kHelpCommand = 40025,
  kSecurePagesCommand = 40026,
};

// Help topics the main window opens: F1 and the Help menu.
inline constexpr int kMainWindowHelpTopic = 11;
inline constexpr int kOverviewHelpTopic = 1;

enum class MainAction {
  ToggleFlag,  // one of the five check boxes: toggle its flag
  Bypass,
  Abort,
  OpenLogWindow,
  OpenWebFilterList,
  OpenHeaderFilterList,
  OpenPreferences,
  OpenSecurePages,
  OpenProxySelector,
  LoadConfigDialog,
  SaveConfigDialog,
  Exit,
  SaveDefaultConfig,
  About,
  ReloadDefaultConfig,
  SaveLastConfig,
  ReloadLastConfig,
  LaunchAutoRun,
  Help,
  None,  // any other id: nothing but the change mark
};

struct MainCommandRow {
  MainAction action;
  uint32_t flag;       // ToggleFlag: the flag of the check box; else 0
  bool marks_changed;  // the command sets Changed
};

// The command table's row for an id (the low 16 bits of a command).
MainCommandRow main_command_row(int id);

// What the window does for each action. The flag toggles and the change mark are done by
// run_main_command itself; the target carries out everything that needs the window.
class MainCommandTarget {
 public:
  virtual ~MainCommandTarget() = default;
  // Bypass: Enable has been toggled; repaint the filter frame, enable 1001 to 1004 while
  // Enable is set and redraw the button.
  virtual void bypass_toggled() = 0;
  virtual void abort_connections() = 0;
  virtual void open_log_window() = 0;
  virtual void open_web_filter_list() = 0;
  virtual void open_header_filter_list() = 0;
  virtual void open_preferences() = 0;
  virtual void open_secure_pages() = 0;
  virtual void open_proxy_selector() = 0;
  virtual void load_config_dialog() = 0;  // then sync_controls
  virtual void save_config_dialog() = 0;
  virtual void request_close() = 0;
  virtual void save_default_config() = 0;
  virtual void show_about() = 0;
  virtual void reload_default_config() = 0;  // status text on success, then sync_controls
  virtual void save_last_config() = 0;
  virtual void reload_last_config() = 0;  // then sync_controls
  virtual void launch_auto_run() = 0;
  virtual void show_help(int topic) = 0;
  // Runs after every command.
  virtual void update_menu_icons() = 0;
};

// Runs the command table for an id: the action, the change mark, then update_menu_icons.
void run_main_command(int id, MainCommandTarget& target);

// What the main window's controls show for a flag word.
struct MainControlStates {
  bool checked[5];         // 1001 to 1005
  bool filters_enabled;    // 1001 to 1004 (1005 is always enabled)
  bool bypass_pressed;     // 1007: pressed while Enable is clear
  bool save_last_enabled;  // icon 40016: exactly while Changed is set
  bool launch_enabled;     // icon 40021: exactly while an auto-run command line is set
};
MainControlStates main_control_states(uint32_t flags, bool has_auto_run);

// The flag of check box 1001 to 1005; 0 for any other id.
uint32_t check_box_flag(int id);

// The start-up rule for the command line (all of it, as one text): it names the
// configuration file to load when it is not empty, contains a '.', and the text from its last
// '.' to its end is ".cfg" in any case. Any other non-empty text is held for the auto-run
// program; then the default configuration is loaded.
bool names_config_file(std::string_view command_line);

struct StartupArgument {
  std::string config_file;  // empty: load the default configuration
  std::string auto_run_argument;
  bool has_auto_run_argument = false;
};
StartupArgument classify_command_line(std::string_view command_line);

// The command line as one text from the program's arguments (argv[1] on): the words joined by
// single blanks, as the designed platform hands the whole line over.
std::string join_arguments(int argc, const char* const* argv);

}  // namespace kw
