// What the log window's find bar and its connection view decide, without Qt: which lines hold
// the text searched for, which connection a line tells of, and where F3 and Shift+F3 go. Lines
// are as the window keeps them, their category character first; that character is never
// searched.
#pragma once

#include <string_view>
#include <vector>

namespace kw {

// Whether the shown text of line holds needle, ignoring the case of ASCII letters. An empty
// needle is in no line.
bool log_line_holds(std::string_view line, std::string_view needle);

// The connection a line names, or -1: a filter hit ("VMatch 12: Banner"), a block's marker
// ("W+++GET 12+++", "W+++RESP 12+++", "W+++CLOSE 12+++ ...") or a socket error ("R** 12 ...").
int log_line_connection(std::string_view line);

// Whether line is a filter hit (of the "HTML filters" category) of that connection.
bool is_filter_hit_of(std::string_view line, int connection);

// The first of rows (ascending) after from, or before it going backwards, wrapping around at
// either end; from may be any index, or -1 for none (forward: the first row, backward: the
// last). -1 when rows is empty.
int step_to_match(const std::vector<int>& rows, int from, bool forward);

}  // namespace kw
