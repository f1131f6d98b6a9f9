// What a configuration file says, read by the configuration reader's rules into plain values
// without touching the running program: load_config applies it, the checker reports on it.
//
// Reading also notes findings: what the reader passes over or reads loosely (unknown keys and
// sections, truth values that are neither true nor false, numbers with trailing text or out of
// range, lines that are not key lines, proxy lines that are no entry, records without their
// required key). The reader's result does not depend on them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/settings.h"
#include "filters/web_filter.h"

namespace kw {

struct ConfigFinding {
  int line;  // 1 for the file's first line
  std::string message;
};

struct HeaderRecordImage {
  int line = 0;  // the record's first line
  int match_line = 0;
  uint16_t flags = 0;
  std::string key, match, replace;
};

struct PatternRecordImage {
  int line = 0;  // the record's first line
  int url_line = 0, bounds_line = 0, match_line = 0;
  uint16_t flags = 0;
  std::string name = "[Unnamed Pattern]";
  std::string url, bounds, match, replace;
  uint32_t limit = kDefaultFilterLimit;
};

struct ProxyLineImage {
  bool current = false;  // written with '>' in front
  std::string text;      // host[:port], cut to the entry text limit
};

struct ConfigImage {
  // The values before a [Global] section sets them: the load defaults.
  uint32_t flags = kLoadDefaultFlags;
  int port = kDefaultPort;
  std::string auto_run;
  std::string texture_paths[kTextureCount];
  // In file order; records without their required key are left out.
  std::vector<HeaderRecordImage> header_filters;
  std::vector<PatternRecordImage> web_filters;
  std::vector<ProxyLineImage> proxies;
  std::vector<std::string> pass_through_hosts;  // [Secure pass-through], in file order
  std::vector<ConfigFinding> findings;
  bool read_whole = false;  // false after a read error
};

// Reads the file at path; false when it cannot be opened as a file (see config_file_error).
bool read_config_image(const char* path, ConfigImage* image);

}  // namespace kw
