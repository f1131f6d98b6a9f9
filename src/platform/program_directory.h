// The directory the running program lives in, and that directory as a file URL. Error pages
// name their pictures through the URL (the browser loads them from the html folder beside the
// program); configuration files are found beside the program through the directory. Any thread
// may call these; the directory is computed once.
#pragma once

namespace kw {

// The program's directory, ending with '/' (empty when the executable's path cannot be read).
// Never null: the text lives in static storage for the whole run.
const char* program_directory();

// Writes "file://" and `directory` under the URL byte rules into out (':' becomes '|', '\'
// becomes '/', bytes 1 to 32 become %XX in upper-case hexadecimal, a byte from 0x80 up ends the
// URL) and terminates it. out must hold 7 + 3 * strlen(directory) + 1 bytes. Returns the length.
int directory_file_url(const char* directory, char* out);

// directory_file_url of program_directory(). Returns the length written.
int program_directory_url(char* out);

}  // namespace kw
