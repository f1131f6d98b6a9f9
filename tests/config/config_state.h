// Helpers of the configuration tests: the running configuration described as plain texts, so
// that tests compare whole states.
#pragma once

#include <string>
#include <vector>

#include "support/files.h"  // write_file, read_file

namespace kw::test {

// Empties every list, the retired proxies, the texts of the settings and the last
// configuration file; flag word and port 0, as at process start.
void reset_configuration();

// Web filters in list order as "name|flags|url|bounds|limit|match|replace", flags being "A"
// for active and "M" for multi; a missing text is "-".
std::vector<std::string> web_filter_texts();
// Header filters in list order as "flags|key|match|replace", flags being "I" for in and "O"
// for out; a missing text is "-".
std::vector<std::string> header_filter_texts();
// Remote proxies in list order as "host:port", the current one with ">" in front.
std::vector<std::string> proxy_texts();

// Flags, port, auto-run line and texture paths in one text.
std::string settings_text();

// The three lists, one line each entry: "header ...", then "web ...", then "proxy ...", the
// proxies in reverse order when asked (a load puts each entry it reads in front).
std::string lists_text(bool proxies_reversed = false);

// Everything above in one text (for comparing whole configurations).
std::string configuration_text();

}  // namespace kw::test
