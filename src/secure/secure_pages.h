// What the "Secure pages" dialog edits, without the dialog: the inspection switch and a working
// copy of the pass-through hosts, the rule for a typed host entry, and the switch stored back
// into the settings. Installing the copy as the program's list is the dialog's job, since it
// must first have every connection out of the way. User-interface thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kw {

// Longest pass-through entry: "*." and the longest host name.
inline constexpr size_t kPassThroughEntryLimit = 255;

struct SecurePagesFields {
  bool inspect = false;
  std::vector<std::string> hosts;  // in list order
};

// The switch and the program's pass-through hosts as the dialog opens with them.
SecurePagesFields secure_pages_fields();

// A typed entry as the list keeps it: without surrounding blanks, in lower case. Empty when it
// cannot name a host: nothing left, longer than kPassThroughEntryLimit, holding a blank, a
// quote (which the configuration file could not hold), a slash or a control character, or a
// '*' anywhere but as a leading "*." before a name.
std::string pass_through_entry(std::string_view text);

// Adds the cleaned entry at the end of hosts unless it is there already. Returns its index (the
// existing one for a repeat), or -1 when the text names no host.
int add_pass_through(std::vector<std::string>& hosts, std::string_view text);

// Sets or clears InspectSecure and marks the configuration changed. True when inspection was
// off before and is on now.
bool store_inspect_secure(bool on);

}  // namespace kw
