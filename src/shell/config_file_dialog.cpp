// The File menu's Load and Save dialogs.
#include "shell/config_file_dialog.h"

#include "config/config_commands.h"

namespace kw {
namespace {

FileRequest config_request(const char* title, const std::string& last_file, bool save) {
  FileRequest request;
  request.title = title;
  request.filters = {{"Config Files", "*.cfg"}, {"Any old thing", "*.*"}};
  request.default_extension = "cfg";
  request.file = last_file;
  request.buffer_size = kConfigNameBuffer;
  request.save = save;
  // Saving to a new file is what a save dialog is for.
  request.file_must_exist = !save;
  return request;
}

}  // namespace

FileRequest load_config_request(const std::string& last_file) {
  return config_request("Config Load-A-Rama!", last_file, false);
}

FileRequest save_config_request(const std::string& last_file) {
  return config_request("Save-A-Config", last_file, true);
}

// A dialog that fails (a chosen name longer than the buffer) counts as cancelled, as the
// designed dialog reported it.
int load_config_dialog(QWidget* owner) {
  make_last_config_file();
  FileRequest request = load_config_request(last_config_file());
  const bool chosen = run_file_dialog(owner, request) == 1;
  return load_chosen_config(chosen ? request.file.c_str() : nullptr);
}

int save_config_dialog(QWidget* owner) {
  make_last_config_file();
  FileRequest request = save_config_request(last_config_file());
  const bool chosen = run_file_dialog(owner, request) == 1;
  return save_chosen_config(chosen ? request.file.c_str() : nullptr);
}

}  // namespace kw
