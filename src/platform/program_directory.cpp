// Program directory from the executable's path (/proc/self/exe), cut after its last '/'.
#include "platform/program_directory.h"

#include <cstring>
#include <mutex>

#include "platform/executable_path.h"

namespace kw {

const char* program_directory() {
  static char directory[512];
  static std::once_flag once;
  std::call_once(once, [] {
    if (executable_path(directory, sizeof directory) == 0) {
      directory[0] = '\0';
      return;
    }
    char* slash = std::strrchr(directory, '/');
    if (slash != nullptr) {
      slash[1] = '\0';
    } else {
      directory[0] = '\0';
    }
  });
  return directory;
}

int directory_file_url(const char* directory, char* out) {
  static const char kHex[] = "0123456789ABCDEF";
  char* w = out;
  std::memcpy(w, "file://", 7);
  w += 7;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(directory); *p && *p < 0x80;
       ++p) {
    if (*p == ':') {
      *w++ = '|';
    } else if (*p == '\\') {
      *w++ = '/';
    } else if (*p <= 32) {
      *w++ = '%';
      *w++ = kHex[*p >> 4];
      *w++ = kHex[*p & 15];
    } else {
      *w++ = static_cast<char>(*p);
    }
  }
  *w = '\0';
  return static_cast<int>(w - out);
}

int program_directory_url(char* out) { return directory_file_url(program_directory(), out); }

}  // namespace kw
