// The configuration checker behind `kestrelwickd --check FILE`: the reader's rules run over a
// file without loading anything, each finding printed as "FILE:LINE: message" in line order,
// then one summary line. Expressions are compiled (and dropped) to find the ones that fail.
#pragma once

#include <cstdio>

namespace kw {

// Findings and the summary go to out, a file that cannot be read is named on err. Returns 0
// without findings, 1 with findings, 2 when the file cannot be read.
int check_config(const char* path, std::FILE* out, std::FILE* err);

}  // namespace kw
