// Shared rules of the configuration file format; see config_format.h.
#include "config/config_format.h"

#include <algorithm>

#include "base/char_class.h"

namespace kw {
namespace {

// Trailing bytes of value 32 or below go, but never the first character; then one closing
// quote.
std::string_view trim_value_end(std::string_view value) {
  size_t end = value.size();
  while (end > 1 && is_config_space(value[end - 1])) --end;
  value = value.substr(0, end);
  if (!value.empty() && value.back() == '"') value.remove_suffix(1);
  return value;
}

}  // namespace

std::string_view skip_config_blanks(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && is_config_blank(line[i])) ++i;
  return line.substr(i);
}

bool parse_key_line(std::string_view line, KeyLine* out) {
  std::string_view rest = skip_config_blanks(line);
  size_t key_end = 0;
  while (key_end < rest.size() && !is_config_space(rest[key_end]) && rest[key_end] != '=') {
    ++key_end;
  }
  out->key = rest.substr(0, key_end);
  rest = skip_config_blanks(rest.substr(key_end));
  if (rest.empty() || rest[0] != '=') return false;
  rest = skip_config_blanks(rest.substr(1));
  if (!rest.empty() && rest[0] == '"') rest.remove_prefix(1);
  out->value = trim_value_end(rest);
  return true;
}

bool config_name_is(std::string_view text, std::string_view name) {
  return text.size() == name.size() &&
         prefix_equals_ignoring_case(text.data(), name.data(), static_cast<int>(name.size()));
}

bool read_config_truth(std::string_view value) {
  if (read_config_decimal(value) >= 1) return true;
  if (value.empty()) return false;
  const char c = value[0];
  return c == 't' || c == 'T' || c == 'y' || c == 'Y';
}

bool parse_continuation_line(std::string_view line, std::string_view* text) {
  std::string_view rest = skip_config_blanks(line);
  if (rest.empty() || rest[0] != '"') return false;
  *text = trim_value_end(rest.substr(1));
  return true;
}

std::string resolve_config_path(std::string_view value, std::string_view directory) {
  std::string path;
  if (value.substr(0, 3) == "../") {
    path.append(directory).append(value.substr(3));
  } else if (value.substr(0, 3) == "..\\") {
    std::string rest(value.substr(3));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    path.append(directory).append(rest);
  } else {
    path.assign(value);
  }
  if (path.size() > kConfigPathLimit) path.resize(kConfigPathLimit);
  return path;
}

std::string relative_config_path(std::string_view path, std::string_view directory) {
  if (directory.size() >= 4 && path.substr(0, directory.size()) == directory) {
    return "../" + std::string(path.substr(directory.size()));
  }
  return std::string(path);
}

void append_config_limited(std::string* value, std::string_view text, size_t limit) {
  if (value->size() >= limit) return;
  value->append(text.substr(0, limit - value->size()));
}

}  // namespace kw
