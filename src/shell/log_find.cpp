// Finding in the log's lines; see log_find.h.
#include "shell/log_find.h"

#include <algorithm>

namespace kw {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The decimal number at the start of text, its digits taken off; -1 when there is none.
int take_number(std::string_view& text) {
  size_t n = 0;
  int value = 0;
  while (n < text.size() && n < 9 && text[n] >= '0' && text[n] <= '9') {
    value = value * 10 + (text[n] - '0');
    ++n;
  }
  if (n == 0) return -1;
  text.remove_prefix(n);
  return value;
}

// "<word> N: ..." after the category character of a filter hit.
int hit_connection(std::string_view text) {
  const size_t space = text.find(' ');
  if (space == std::string_view::npos || space == 0) return -1;
  text.remove_prefix(space + 1);
  const int number = take_number(text);
  return starts_with(text, ":") ? number : -1;
}

}  // namespace

bool log_line_holds(std::string_view line, std::string_view needle) {
  if (needle.empty() || line.empty()) return false;
  const std::string_view text = line.substr(1);
  return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                     [](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

int log_line_connection(std::string_view line) {
  if (line.empty()) return -1;
  const char category = line[0];
  std::string_view text = line.substr(1);
  if (category == 'V') return hit_connection(text);
  if (starts_with(text, "** ")) {
    text.remove_prefix(3);
    const int number = take_number(text);
    return starts_with(text, " ") ? number : -1;
  }
  for (std::string_view marker : {"+++GET ", "+++RESP ", "+++CLOSE "}) {
    if (!starts_with(text, marker)) continue;
    text.remove_prefix(marker.size());
    const int number = take_number(text);
    return starts_with(text, "+++") ? number : -1;
  }
  return -1;
}

bool is_filter_hit_of(std::string_view line, int connection) {
  return !line.empty() && line[0] == 'V' && connection >= 0 &&
         hit_connection(line.substr(1)) == connection;
}

int step_to_match(const std::vector<int>& rows, int from, bool forward) {
  if (rows.empty()) return -1;
  if (forward) {
    const auto next = std::upper_bound(rows.begin(), rows.end(), from);
    return next != rows.end() ? *next : rows.front();
  }
  if (from < 0) return rows.back();
  const auto next = std::lower_bound(rows.begin(), rows.end(), from);
  return next != rows.begin() ? *(next - 1) : rows.back();
}

}  // namespace kw
