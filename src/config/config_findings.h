// The texts of findings about a configuration file, and the strict forms of values that the
// reader reads loosely. Pure functions; any thread may call them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace kw {

// Levenshtein distance of two names, ignoring ASCII case.
int name_distance(std::string_view a, std::string_view b);

// `unknown key "KEY" in [SECTION]`, with ` (did you mean "K"?)` for the nearest known key
// within two edits.
std::string unknown_key_finding(std::string_view key, std::string_view section,
                                std::initializer_list<const char*> known);

// A truth value written as TRUE, FALSE, YES, NO (any case) or a whole number. Empty when it is
// one, else the finding.
std::string truth_finding(std::string_view key, std::string_view value);

// A whole decimal number (optional sign) from low to high. Empty when it is one, else the
// finding naming the key and the range.
std::string number_finding(std::string_view key, std::string_view value, long low, long high);

// A [Proxies] entry text: a host without blanks, then optionally ':' and a port from 0 to
// 65535. Empty when it is one, else the finding.
std::string proxy_finding(std::string_view text);

// "the KEY expression does not compile (Check for mis-matched [] or ())".
std::string expression_failure(std::string_view key);

}  // namespace kw
