// Trying one web filter on a sample body: the filter runs through the page transfer's own
// passes ("<start>" texts, the page scan, "<end>" texts) on bytes held in memory, and what the
// browser would receive is collected along with every match the scan made: where it lies in the
// sample, its variables, and where its replacement went in the rewritten text. The filter
// editor's try window and kwmatch both show this. Any thread; nothing shared is touched, no log
// line is written (the filter's own hit count does count).
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter_editing.h"
#include "filters/web_filter.h"

namespace kw {

struct WebFilterFree {
  void operator()(WebFilter* record) const { free_web_filter(record); }
};
using OwnedWebFilter = std::unique_ptr<WebFilter, WebFilterFree>;

// Builds the record the editor's fields make, with the editor's blank handling, as an active
// filter outside every list. 1 with *result set, or the build's failure (kMissingMatch,
// kResultBadPattern, kResultBadMatch, kResultBadBounds, kResultFailed); a text that failed on
// one of the compiler's limits leaves that reason in *limit_result.
int build_trial_filter(const WebFilterFields& fields, OwnedWebFilter* result, int* limit_result);

struct TrialMatch {
  // In the sample. A match that began in replacement bytes put back for another scan
  // (`rescanned`) has no place there: its offset is that of the sample bytes after them.
  size_t offset = 0;
  size_t length = 0;
  bool rescanned = false;
  std::string text;  // the bytes matched
  std::array<std::string, kVariableCount> variables;
  // Where its replacement begins in the rewritten text, and how long the expansion is.
  size_t output_offset = 0;
  size_t output_length = 0;
};

struct FilterTrial {
  // Whether the filter applies to the sample's URL (always, when no URL is given); when it
  // does not, the body goes through unchanged, as it would through the proxy.
  bool applies = true;
  std::string rewritten;
  std::vector<TrialMatch> matches;
  // Stretches of the rewritten text that the filter wrote, in order and not overlapping.
  struct Stretch {
    size_t offset, length;
  };
  std::vector<Stretch> changes;
};

// The bytes with control bytes, backslashes and bytes from 0x7F up written as escapes (\n, \r,
// \t, \\, \xHH), so that any match shows on one line.
std::string escaped_bytes(std::string_view bytes);

// Runs the filter, a record in no list, over `body` as the proxy runs it over a text page from
// `url` ("http://host/path"; empty for none).
FilterTrial try_web_filter(const WebFilter& filter, std::string_view body,
                           std::string_view url = {});

}  // namespace kw
