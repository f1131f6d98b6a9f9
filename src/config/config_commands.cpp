// The configuration commands; see config_commands.h.
#include "config/config_commands.h"

#include <cstring>

#include "base/settings.h"
#include "config/config_reader.h"
#include "config/config_writer.h"
#include "engine/listener.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"
#include "proxies/proxy_list.h"
#include "report/frontend.h"

namespace kw {
namespace {

bool last_made = false;
std::string last_path;  // at most kLastConfigFileLimit characters; meaningful while last_made

// Whether a start-up load has run (after it, the textures exist: loaded from the file or the
// built-in ones).
bool textures_loaded = false;

// The rest of a Load or Save dialog: the chosen path (null: cancelled) becomes the last
// configuration file and `command` runs on it; the outcome is a status text.
int run_on_chosen_file(const char* path, int (*command)(const char*), const char* cancelled,
                       const char* done, const char* failed) {
  make_last_config_file();
  if (path == nullptr) {
    set_status_text(cancelled, kCyan);
    return 1;
  }
  set_last_config_file(path);
  if (!command(last_config_file())) {
    set_status_text(failed, kRed);
    return 0;
  }
  set_status_text(done, kCyan);
  return 1;
}

}  // namespace

bool last_config_file_made() { return last_made; }

const char* last_config_file() { return last_made ? last_path.c_str() : ""; }

void set_last_config_file(const char* path) {
  last_made = true;
  last_path.assign(path);
  if (last_path.size() > kLastConfigFileLimit) last_path.resize(kLastConfigFileLimit);
}

void make_last_config_file() {
  if (!last_made) set_last_config_file("");
}

void forget_last_config_file() {
  last_made = false;
  last_path.clear();
}

std::string default_config_path() { return std::string(program_directory()) + "default.cfg"; }

int startup_load(const char* path) {
  const std::string file = path != nullptr && path[0] != '\0' ? path : default_config_path();
  if (!load_config(file.c_str())) {
    if (int error = config_file_error(file.c_str())) {
      add_log_linef("RCan't read configuration file %s: %s", file.c_str(), std::strerror(error));
    }
    if (textures_loaded) {
      set_status_text("--- Error Loading Config File! ---", kRed);
    } else {
      // Nothing was loaded: the texture paths are still empty, which selects the built-in
      // bitmaps.
      reload_textures();
      textures_loaded = true;
      show_application_error("Error Loading Default Configuration!");
    }
    return 0;
  }
  textures_loaded = true;
  if (!last_made) set_last_config_file(file.c_str());
  return 1;
}

int reload_default_config() {
  if (!startup_load(nullptr)) return 0;
  set_status_text("--- Default Config File Reloaded ---", kCyan);
  return 1;
}

int load_chosen_config(const char* path) {
  return run_on_chosen_file(path, load_config, "--- Load Canceled ---",
                            "--- New Config File Loaded ---", "--- Error Loading Config File! ---");
}

int save_chosen_config(const char* path) {
  return run_on_chosen_file(path, save_config, "--- Save Canceled ---", "--- Config File Saved ---",
                            "--- Error Saving Config File! ---");
}

int save_default_config() {
  if (!save_config(default_config_path().c_str())) {
    set_status_text("--- Error Saving Default Config File! ---", kRed);
    return 0;
  }
  set_status_text("--- Default Config File Saved ---", kCyan);
  return 1;
}

int reload_last_config() {
  if (!last_made || !load_config(last_config_file())) return 0;
  set_status_text("--- Config Reloaded ---", kCyan);
  return 1;
}

int save_last_config() {
  if (!last_made || !save_config(last_config_file())) return 0;
  set_status_text("--- Changes Saved ---", kCyan);
  return 1;
}

int free_config() {
  Settings& s = settings();
  s.auto_run.clear();
  for (std::string& texture : s.texture_paths) texture.clear();
  clear_proxy_list();

  ConnectionLock lock;
  const bool idle = active_connection_count() == 0;
  if (idle) {
    free_web_filters();
    free_header_filters();
    free_retired_proxies();
  }
  return idle ? 1 : 0;
}

}  // namespace kw
