// Load and Save of the File menu through the skinned file dialogs: "Config Load-A-Rama!" and
// "Save-A-Config", both offering "Config Files" (*.cfg, chosen first) and "Any old thing"
// (every file), with the extension "cfg" added to a name typed without one, and starting at
// the last configuration file. The chosen name becomes the last configuration file whatever
// the load or save then does; each outcome is reported in the status line.
//
// The Save dialog accepts a name that does not exist yet (a configuration can be saved as a
// new file); Load needs an existing file. User-interface thread only.
#pragma once

#include <string>

#include "dialogs/file_dialog.h"

class QWidget;

namespace kw {

// A chosen name holds at most 255 characters.
inline constexpr size_t kConfigNameBuffer = 256;

// The requests the two dialogs run, starting at `last_file`.
FileRequest load_config_request(const std::string& last_file);
FileRequest save_config_request(const std::string& last_file);

// Load Config File (40001) and Save Config File (40002), the dialogs owned by `owner`. 1 when
// the command succeeded or was cancelled, 0 when the load or save failed. The caller syncs the
// main window's controls after a load.
int load_config_dialog(QWidget* owner);
int save_config_dialog(QWidget* owner);

}  // namespace kw
