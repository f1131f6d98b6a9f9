// The hit counts of all filters as text: one line for each web filter, then one for each header
// filter, in list order, for kestrelwickd to print on request and when it stops.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kw {

// Lines such as `web filter 2 "Banner ads": 14 hits` and `header filter 1 "Referer": 3 hits`.
// Reads the lists as a transfer does (raising and lowering their use counts), so no list is
// replaced meanwhile.
std::vector<std::string> filter_hit_lines();
// Writes filter_hit_lines to out in one piece, each followed by a line feed, and flushes it.
void print_filter_hits(std::FILE* out);

}  // namespace kw
