// The configuration file writer: writes the running configuration (settings, header and web
// filter lists, remote proxy list) in the format the reader loads. Called on the
// user-interface thread only; it takes no lock, since only that thread changes the lists.
#pragma once

#include <string>

namespace kw {

// The running configuration as the bytes of a configuration file (CR LF line ends).
std::string config_file_text();

// Writes config_file_text() to path. The bytes go to a new file in the same directory, which
// replaces the old file only once every byte is written and the new file is closed; on any
// failure the old file is left as it was and the result is 0 with Changed still set. On
// success Changed is cleared and the result is 1. A symbolic link is written through: the file
// it names is replaced.
int save_config(const char* path);

}  // namespace kw
