// The "Secure pages" dialog's fields and rules.
#include "secure/secure_pages.h"

#include <algorithm>
#include <cctype>

#include "base/settings.h"
#include "secure/interception.h"

namespace kw {

SecurePagesFields secure_pages_fields() {
  SecurePagesFields fields;
  fields.inspect = settings_has(InspectSecure);
  fields.hosts = pass_through_hosts();
  return fields;
}

std::string pass_through_entry(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > kPassThroughEntryLimit) return {};
  std::string_view name = text.substr(0, 2) == "*." ? text.substr(2) : text;
  if (name.empty()) return {};
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7F || c == '"' || c == '/' || c == '*') return {};
  }
  std::string entry(text);
  for (char& c : entry) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return entry;
}

int add_pass_through(std::vector<std::string>& hosts, std::string_view text) {
  const std::string entry = pass_through_entry(text);
  if (entry.empty()) return -1;
  // Entries loaded from a file may differ in case only; they name the same host.
  const auto same = [&entry](const std::string& listed) {
    return pass_through_entry(listed) == entry;
  };
  const auto found = std::find_if(hosts.begin(), hosts.end(), same);
  if (found != hosts.end()) return static_cast<int>(found - hosts.begin());
  hosts.push_back(entry);
  return static_cast<int>(hosts.size()) - 1;
}

bool store_inspect_secure(bool on) {
  const bool was_on = settings_has(InspectSecure);
  const uint32_t flags = settings_flags() & ~InspectSecure;
  settings_set_flags(flags | (on ? InspectSecure : 0u) | Changed);
  return on && !was_on;
}

}  // namespace kw
