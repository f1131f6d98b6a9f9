// The running program's own file, for finding the files that live beside it.
#pragma once

#include <cstddef>

namespace kw {

// Writes the full path of the running executable into out (at most size - 1 characters and a
// terminator). Returns its length, 0 when it cannot be read or does not fit.
size_t executable_path(char* out, size_t size);

}  // namespace kw
