// Whole files written and read in one call, for tests that prepare or inspect files.
#pragma once

#include <string>

namespace kw::test {

// Replaces the file's contents with bytes (creating it).
void write_file(const std::string& path, const std::string& bytes);
// The file's bytes; empty when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace kw::test
