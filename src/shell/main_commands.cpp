// The main window's command table, control states and command-line rule.
#include "shell/main_commands.h"

#include "base/settings.h"
#include "config/config_format.h"

namespace kw {
namespace {

struct TableRow {
  int id;
  MainCommandRow row;
};

// The command table. Only "Use Remote Proxy" among the controls marks the configuration
// changed: the filter switches and Bypass are how the proxy is used at the moment, the remote
// proxy choice belongs to the configuration.
constexpr TableRow kCommandTable[] = {
    {kWebPageFiltersCheck, {MainAction::ToggleFlag, FilterHTML, false}},
    {kOutgoingHeadersCheck, {MainAction::ToggleFlag, FilterHeadersOut, false}},
    {kIncomingHeadersCheck, {MainAction::ToggleFlag, FilterHeadersIn, false}},
    {kFreezeGifCheck, {MainAction::ToggleFlag, FreezeGIF, false}},
    {kRemoteProxyCheck, {MainAction::ToggleFlag, EnableProxy, true}},
    {kBypassToggle, {MainAction::Bypass, 0, false}},
    {kAbortButton, {MainAction::Abort, 0, false}},
    {kLogWindowButton, {MainAction::OpenLogWindow, 0, false}},
    {kWebPageButton, {MainAction::OpenWebFilterList, 0, false}},
    {kHeadersButton, {MainAction::OpenHeaderFilterList, 0, false}},
    {kConfigButton, {MainAction::OpenPreferences, 0, false}},
    {kProxyButton, {MainAction::OpenProxySelector, 0, false}},
    {kSecurePagesCommand, {MainAction::OpenSecurePages, 0, false}},
    {kLoadConfigCommand, {MainAction::LoadConfigDialog, 0, false}},
    {kSaveConfigCommand, {MainAction::SaveConfigDialog, 0, false}},
    {kExitCommand, {MainAction::Exit, 0, false}},
    {kSaveDefaultCommand, {MainAction::SaveDefaultConfig, 0, false}},
    {kAboutCommand, {MainAction::About, 0, false}},
    {kReloadDefaultCommand, {MainAction::ReloadDefaultConfig, 0, false}},
    {kSaveLastCommand, {MainAction::SaveLastConfig, 0, false}},
    {kReloadLastCommand, {MainAction::ReloadLastConfig, 0, false}},
    {kLaunchAutoRunCommand, {MainAction::LaunchAutoRun, 0, false}},
    {kHelpCommand, {MainAction::Help, 0, false}},
};

constexpr uint32_t kCheckBoxFlags[] = {FilterHTML, FilterHeadersOut, FilterHeadersIn, FreezeGIF,
                                       EnableProxy};

}  // namespace

MainCommandRow main_command_row(int id) {
  for (const TableRow& entry : kCommandTable) {
    if (entry.id == id) return entry.row;
  }
  return {MainAction::None, 0, true};
}

void run_main_command(int id, MainCommandTarget& target) {
  const MainCommandRow row = main_command_row(id & 0xFFFF);
  switch (row.action) {
    case MainAction::ToggleFlag:
      settings_toggle_flags(row.flag);
      break;
    case MainAction::Bypass:
      settings_toggle_flags(Enable);
      target.bypass_toggled();
      break;
    case MainAction::Abort:
      target.abort_connections();
      break;
    case MainAction::OpenLogWindow:
      target.open_log_window();
      break;
    case MainAction::OpenWebFilterList:
      target.open_web_filter_list();
      break;
    case MainAction::OpenHeaderFilterList:
      target.open_header_filter_list();
      break;
    case MainAction::OpenPreferences:
      target.open_preferences();
      break;
    case MainAction::OpenSecurePages:
      target.open_secure_pages();
      break;
    case MainAction::OpenProxySelector:
      target.open_proxy_selector();
      break;
    case MainAction::LoadConfigDialog:
      target.load_config_dialog();
      break;
    case MainAction::SaveConfigDialog:
      target.save_config_dialog();
      break;
    case MainAction::Exit:
      target.request_close();
      break;
    case MainAction::SaveDefaultConfig:
      target.save_default_config();
      break;
    case MainAction::About:
      target.show_about();
      break;
    case MainAction::ReloadDefaultConfig:
      target.reload_default_config();
      break;
    case MainAction::SaveLastConfig:
      target.save_last_config();
      break;
    case MainAction::ReloadLastConfig:
      target.reload_last_config();
      break;
    case MainAction::LaunchAutoRun:
      target.launch_auto_run();
      break;
    case MainAction::Help:
      target.show_help(kOverviewHelpTopic);
      break;
    case MainAction::None:
      break;
  }
  if (row.marks_changed) settings_add_flags(Changed);
  target.update_menu_icons();
}

uint32_t check_box_flag(int id) {
  if (id < kWebPageFiltersCheck || id > kRemoteProxyCheck) return 0;
  return kCheckBoxFlags[id - kWebPageFiltersCheck];
}

MainControlStates main_control_states(uint32_t flags, bool has_auto_run) {
  MainControlStates states{};
  for (int i = 0; i < 5; ++i) states.checked[i] = (flags & kCheckBoxFlags[i]) != 0;
  states.filters_enabled = (flags & Enable) != 0;
  states.bypass_pressed = (flags & Enable) == 0;
  states.save_last_enabled = (flags & Changed) != 0;
  states.launch_enabled = has_auto_run;
  return states;
}

bool names_config_file(std::string_view command_line) {
  const size_t dot = command_line.rfind('.');
  if (dot == std::string_view::npos) return false;
  return config_name_is(command_line.substr(dot), ".cfg");
}

StartupArgument classify_command_line(std::string_view command_line) {
  StartupArgument result;
  if (command_line.empty()) return result;
  if (names_config_file(command_line)) {
    result.config_file = std::string(command_line);
  } else {
    result.auto_run_argument = std::string(command_line);
    result.has_auto_run_argument = true;
  }
  return result;
}

std::string join_arguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace kw
