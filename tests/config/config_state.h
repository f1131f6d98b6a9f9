// Helpers of the configuration tests: the running configuration described as plain texts, so
// that tests compare whole states.
#pragma once

#include <string>

#include "support/files.h"  // write_file, read_file

namespace kw::test {

// Empties every list, the retired proxies, the texts of the settings and the last
// configuration file; flag word and port 0, as at process start.
void reset_configuration();

// Flags, port, auto-run line and texture paths in one text.
std::string settings_text();

// The three lists, one line each entry, missing texts as "-":
//   "header FLAGS|key|match|replace" (flags "I" in, "O" out), then
//   "web name|FLAGS|url|bounds|limit|match|replace" (flags "A" active, "M" multi), then
//   "proxy host:port" ("proxy >..." for the current one), in reverse order when asked (a load
//   puts each entry it reads in front), then the secure pass-through hosts as "pass host".
std::string lists_text(bool proxies_reversed = false);

// Both of the above in one text (for comparing whole configurations).
std::string configuration_text();

}  // namespace kw::test
