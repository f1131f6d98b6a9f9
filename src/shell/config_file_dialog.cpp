// The File menu's Load and Save dialogs.
#include "shell/config_file_dialog.h"

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

}  // namespace kw
