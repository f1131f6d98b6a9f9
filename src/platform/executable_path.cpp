#include "platform/executable_path.h"

#include <unistd.h>

namespace kw {

size_t executable_path(char* out, size_t size) {
  if (size == 0) return 0;
  ssize_t n = ::readlink("/proc/self/exe", out, size - 1);
  if (n <= 0 || static_cast<size_t>(n) >= size - 1) {
    out[0] = '\0';
    return 0;
  }
  out[n] = '\0';
  return static_cast<size_t>(n);
}

}  // namespace kw
