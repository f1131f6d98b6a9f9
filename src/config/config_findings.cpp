// Finding texts and strict value forms; see config_findings.h.
#include "config/config_findings.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace kw {
namespace {

constexpr int kSuggestionDistance = 2;

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lower(c);
  return out;
}

// [+-]digits and nothing else; the value in *number, held within a long's reach.
bool whole_number(std::string_view text, long* number) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (value < 1'000'000'000'000L) value = value * 10 + (text[i] - '0');
  }
  *number = negative ? -value : value;
  return true;
}

}  // namespace

int name_distance(std::string_view a, std::string_view b) {
  std::vector<int> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      const int above = row[j];
      const int change = diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
      row[j] = std::min({above + 1, row[j - 1] + 1, change});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string unknown_key_finding(std::string_view key, std::string_view section,
                                std::initializer_list<const char*> known) {
  std::string out = "unknown key \"" + std::string(key) + "\" in [" + std::string(section) + "]";
  const char* nearest = nullptr;
  int best = kSuggestionDistance + 1;
  for (const char* name : known) {
    const int d = name_distance(key, name);
    if (d < best) {
      best = d;
      nearest = name;
    }
  }
  if (nearest != nullptr) out += " (did you mean \"" + std::string(nearest) + "\"?)";
  return out;
}

std::string truth_finding(std::string_view key, std::string_view value) {
  const std::string word = lowered(value);
  long number = 0;
  if (word == "true" || word == "false" || word == "yes" || word == "no" ||
      whole_number(value, &number)) {
    return {};
  }
  return std::string(key) + ": \"" + std::string(value) + "\" is neither TRUE nor FALSE";
}

std::string number_finding(std::string_view key, std::string_view value, long low, long high) {
  long number = 0;
  const std::string range = " (" + std::to_string(low) + " to " + std::to_string(high) + ")";
  if (!whole_number(value, &number)) {
    return std::string(key) + ": \"" + std::string(value) + "\" is not a whole number" + range;
  }
  if (number < low || number > high) {
    return std::string(key) + ": " + std::string(value) + " is out of range" + range;
  }
  return {};
}

std::string proxy_finding(std::string_view text) {
  const size_t colon = text.find(':');
  const std::string_view host = text.substr(0, colon);
  const bool host_ok = !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 32;
  });
  long port = 0;
  const bool port_ok = colon == std::string_view::npos ||
                       (whole_number(text.substr(colon + 1), &port) && port >= 0 && port <= 65535);
  if (host_ok && port_ok) return {};
  return "\"" + std::string(text) + "\" is not a proxy entry (HOST:PORT, port 0 to 65535)";
}

std::string expression_failure(std::string_view key) {
  return "the " + std::string(key) + " expression does not compile (Check for mis-matched [] or ())";
}

}  // namespace kw
