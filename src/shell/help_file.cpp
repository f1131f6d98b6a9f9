// Reading the help file into topics; see help_file.h for the format.
#include "shell/help_file.h"

#include <climits>
#include <fstream>
#include <iterator>

#include "platform/program_directory.h"

namespace kw {
namespace {

constexpr std::string_view kTopicMark = "@topic";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// "@topic" followed by a blank or the line end.
bool is_topic_line(std::string_view line) {
  return line.substr(0, kTopicMark.size()) == kTopicMark &&
         (line.size() == kTopicMark.size() || is_blank(line[kTopicMark.size()]));
}

// The number and title of a topic line; false when the number is missing, zero or too large.
bool parse_topic_line(std::string_view line, int* number, std::string* title) {
  std::string_view rest = trim(line.substr(kTopicMark.size()));
  long long value = 0;
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
    value = value * 10 + (rest[digits] - '0');
    if (value > INT_MAX) return false;
    ++digits;
  }
  if (digits == 0 || value == 0) return false;
  if (digits < rest.size() && !is_blank(rest[digits])) return false;
  *number = static_cast<int>(value);
  *title = std::string(trim(rest.substr(digits)));
  return true;
}

}  // namespace

size_t HelpFile::parse(std::string_view text) {
  topics_.clear();
  HelpTopic* current = nullptr;  // the topic that takes the lines; none in preamble or skip
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (is_topic_line(line)) {
      current = nullptr;
      HelpTopic topic;
      if (parse_topic_line(line, &topic.number, &topic.title) && !find(topic.number)) {
        current = &topics_.emplace_back(std::move(topic));
      }
    } else if (current) {
      current->html.append(line).push_back('\n');
    }
  }
  return topics_.size();
}

int HelpFile::load(const std::string& path) {
  topics_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::string text;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || static_cast<unsigned long long>(size) > kHelpFileMaxBytes) return 0;
  in.seekg(0, std::ios::beg);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return 0;
  parse(text);
  return 1;
}

const HelpTopic* HelpFile::find(int number) const {
  for (const HelpTopic& t : topics_) {
    if (t.number == number) return &t;
  }
  return nullptr;
}

std::string help_file_path() {
  const std::string directory = program_directory();
  if (directory.empty()) return {};
  return directory + kHelpFileName;
}

}  // namespace kw
