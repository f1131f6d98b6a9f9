// The program's file-open and file-save dialogs: Qt's own file dialog (not the desktop's, so it
// can be skinned), its background tiled with the Background texture and its labels in that
// texture's text colour, optionally with the "Default" strip at the bottom that the texture
// choices use. Pressing "Default" ends the dialog as cancelled, with the request marked 101,
// so the caller reverts to the built-in bitmap. User-interface thread only.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace kw {

// Mark of a request ended by the "Default" button.
inline constexpr int kDefaultBitmapMark = 101;
// Id of the "Default" button of the strip (template 136).
inline constexpr int kDefaultBitmapButton = 1082;

struct FileFilter {
  std::string name;     // "Config Files"
  std::string pattern;  // "*.cfg"; "*.*" means every file
};

struct FileRequest {
  std::string title;
  std::vector<FileFilter> filters;  // the first is selected
  std::string default_extension;    // added to a typed name without one ("cfg")
  std::string file;                 // in: the name the dialog starts with; out: the chosen path
  size_t buffer_size = 1024;  // a chosen path needs its length + 1; longer ones fail the dialog
  bool save = false;          // a save dialog (no overwrite question)
  bool file_must_exist = true;
  bool default_strip = false;  // add the "Default" strip
  bool programs_only = false;  // list only files that may be run (and folders)
  int custom_data = 0;         // kDefaultBitmapMark after "Default"
};

// 1 when a file was chosen (request.file names it), 0 when cancelled or failed.
int run_file_dialog(QWidget* owner, FileRequest& request);

}  // namespace kw
