// The configuration commands of the File menu and of start-up and shutdown, each reporting its
// outcome as a status text through the frontend, and the last configuration file they share.
// The file dialogs themselves belong to the desktop program: it asks for a name and hands the
// outcome (a path, or none when cancelled) to load_chosen_config or save_chosen_config, which
// hold the rest of the command.
//
// Threads: the user-interface thread only (kestrelwickd: its main thread), like the loads and
// saves they run.
#pragma once

#include <string>

namespace kw {

// The last configuration file: not made until the first successful start-up load or the first
// Load or Save dialog. Reload Last Config and Save Last Config use it.
inline constexpr size_t kLastConfigFileLimit = 511;
bool last_config_file_made();
// The path, empty while not made (or made empty by a cancelled first dialog).
const char* last_config_file();
// Makes it (when not made) and copies path into it, cut at kLastConfigFileLimit characters.
void set_last_config_file(const char* path);
// Makes it empty when it is not made yet (the file dialogs start from it).
void make_last_config_file();
// Back to not made, as at process start (tests).
void forget_last_config_file();

// "default.cfg" in the program directory.
std::string default_config_path();

// Loads path, or the default configuration file when path is null or empty. On failure: a red
// "--- Error Loading Config File! ---" when textures were loaded before, otherwise the built-in
// textures and the box "Error Loading Default Configuration!". The first successful call names
// the last configuration file. 1 when loaded.
int startup_load(const char* path);

// Reload Default Settings: startup_load of the default file, then "--- Default Config File
// Reloaded ---" on success. The last configuration file is not changed.
int reload_default_config();

// The rest of the Load dialog once the user chose path (null: cancelled). The chosen path
// becomes the last configuration file whether or not it loads. Cancelled gives "--- Load
// Canceled ---" and 1; otherwise "--- New Config File Loaded ---" and 1, or "--- Error Loading
// Config File! ---" and 0.
int load_chosen_config(const char* path);

// The rest of the Save dialog once the user chose path (null: cancelled): "--- Save Canceled
// ---", or a save with "--- Config File Saved ---" (1) or "--- Error Saving Config File! ---"
// (0). The chosen path becomes the last configuration file.
int save_chosen_config(const char* path);

// Saves to the default configuration file: "--- Default Config File Saved ---" or "--- Error
// Saving Default Config File! ---". The last configuration file is not changed.
int save_default_config();

// Loads the last configuration file again: "--- Config Reloaded ---" on success, no text on
// failure. Does nothing (0) while the last configuration file is not made.
int reload_last_config();

// Saves to the last configuration file: "--- Changes Saved ---" on success, no text on
// failure. Does nothing (0) while the last configuration file is not made.
int save_last_config();

// Shutdown: discards the auto-run command line and the texture paths and empties the remote
// proxy list. The filter lists and the retired proxy entries are freed only when no connection
// is active (checked under the connection lock); a connection still running at shutdown may be
// reading them, and the process ends soon anyway. 1 when everything was freed.
int free_config();

}  // namespace kw
