// load_config and the section readers of the configuration file format.
//
// The file is a sequence of sections. The main loop looks for section headers; each known
// section's reader takes the lines after the header and stops at the line that begins the next
// section (first non-blank character '['), which the main loop then reads as a header. Lines
// are read whole (a value never exceeds its limit, which cuts it); config_format.h holds the
// rules of single lines.
#include "config/config_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "base/settings.h"
#include "config/config_format.h"
#include "engine/listener.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"
#include "platform/wait_until.h"
#include "proxies/proxy_list.h"
#include "report/frontend.h"
#include "secure/inspection.h"

namespace kw {
namespace {

// Result of the active-connections question when the load goes on (with the lock held).
constexpr int kLoadGoesOn = 2;
// How long Kill Connections waits for the killed connections to count themselves out before
// it looks at the count.
constexpr auto kKillWait = std::chrono::seconds(5);

constexpr char kUnnamedPattern[] = "[Unnamed Pattern]";

// A filter text that ran into one of the pattern compiler's limits is kept without its code;
// the user is told why in the application error box.
void show_compile_limit(int result) {
  if (result != kResultOk) show_application_error(result_name(result));
}

// The connection lock that the answer below took for the load, handed over to load_config.
std::optional<ConnectionLock> lock_from_answer;

// Retry and Kill Connections of the question. The load may go on only with the connection
// lock held and no connection active; the lock is then kept for the load.
int on_active_connections_answer(int answer) {
  if (answer == kAnswerKillConnections) {
    restart_listener();
    wait_until([] { return active_connection_count() == 0; }, kKillWait);
  }
  ConnectionLock lock;
  if (adjust_active_connections(0) != 0) return 0;
  lock_from_answer = std::move(lock);
  return kLoadGoesOn;
}

class ConfigFile {
 public:
  explicit ConfigFile(const char* path) : file_(std::fopen(path, "r")) {
    // A directory opens on this platform but cannot be read as a file.
    struct stat info;
    if (file_ != nullptr && (fstat(fileno(file_), &info) != 0 || S_ISDIR(info.st_mode))) {
      std::fclose(file_);
      file_ = nullptr;
    }
  }
  ~ConfigFile() {
    std::free(buffer_);
    if (file_ != nullptr) std::fclose(file_);
  }
  ConfigFile(const ConfigFile&) = delete;
  ConfigFile& operator=(const ConfigFile&) = delete;

  bool is_open() const { return file_ != nullptr; }
  bool failed() const { return std::ferror(file_) != 0; }

  // The next line without its line end (LF, or CR LF), cut at its first NUL byte. The view
  // lives until the next call. False at the end of the file or on a read error.
  bool next(std::string_view* line) {
    ssize_t n = getline(&buffer_, &capacity_, file_);
    if (n < 0) return false;
    size_t length = strnlen(buffer_, static_cast<size_t>(n));
    if (length == static_cast<size_t>(n) && length > 0 && buffer_[length - 1] == '\n') {
      --length;
      if (length > 0 && buffer_[length - 1] == '\r') --length;
    }
    *line = std::string_view(buffer_, length);
    return true;
  }

 private:
  std::FILE* file_;
  char* buffer_ = nullptr;  // getline's buffer: buffer_[0, capacity_) owned here
  size_t capacity_ = 0;
};

enum class Section { kOther, kGlobal, kProxies, kHeaders, kPatterns, kPassThrough };

// A section header: the first character that is not a space or control character is '[' and a
// ']' follows; the name between them is taken exactly. Unknown names, and '[' lines without
// ']', give kOther.
Section section_of(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && is_config_space(line[i])) ++i;
  if (i == line.size() || line[i] != '[') return Section::kOther;
  const size_t close = line.find(']', i + 1);
  if (close == std::string_view::npos) return Section::kOther;
  const std::string_view name = line.substr(i + 1, close - i - 1);
  if (config_name_is(name, "Global")) return Section::kGlobal;
  if (config_name_is(name, "Proxies")) return Section::kProxies;
  if (config_name_is(name, "HTTP headers")) return Section::kHeaders;
  if (config_name_is(name, "Patterns")) return Section::kPatterns;
  if (config_name_is(name, "Secure pass-through")) return Section::kPassThrough;
  return Section::kOther;
}

// The line that ends a section: its first non-blank character is '['.
bool begins_section(std::string_view line) {
  std::string_view rest = skip_config_blanks(line);
  return !rest.empty() && rest[0] == '[';
}

// A line that ends a record: its first non-blank character is a control character (also an
// empty or blank line).
bool ends_record(std::string_view line) {
  std::string_view rest = skip_config_blanks(line);
  return rest.empty() || is_config_control(rest[0]);
}

void set_limited(std::string* field, std::string_view value, size_t limit) {
  field->assign(value.substr(0, limit));
}

void apply_global_key(const KeyLine& k) {
  Settings& s = settings();
  for (const FlagKey& f : kConfigFlagKeys) {
    if (config_name_is(k.key, f.key)) {
      if (read_config_truth(k.value)) settings_add_flags(f.flag);
      return;
    }
  }
  if (config_name_is(k.key, "Port")) {
    s.port.store(read_config_decimal(k.value));
  } else if (config_name_is(k.key, "AutoRun")) {
    set_limited(&s.auto_run, k.value, kAutoRunLimit);
  } else {
    for (int i = 0; i < kTextureCount; ++i) {
      if (config_name_is(k.key, kTextureKeys[i])) {
        s.texture_paths[i] = resolve_config_path(k.value, program_directory());
      }
    }
  }
}

// Each reader takes the lines after its header. It returns true with *line holding the line
// that begins the next section, or false at the end of the file.

bool read_global(ConfigFile& file, std::string_view* line) {
  settings_set_flags(0);
  while (file.next(line)) {
    if (begins_section(*line)) return true;
    KeyLine k;
    if (parse_key_line(*line, &k)) apply_global_key(k);
  }
  return false;
}

bool read_proxies(ConfigFile& file, std::string_view* line) {
  while (file.next(line)) {
    size_t i = 0;
    while (i < line->size() && is_config_space((*line)[i])) ++i;
    std::string_view rest = line->substr(i);
    if (rest.empty() || rest[0] == '#' || rest[0] == ';') continue;
    if (rest[0] == '[') return true;
    const bool current = rest[0] == '>';
    if (current) rest.remove_prefix(1);
    const std::string text(rest.substr(0, kProxyEntryTextLimit));
    ProxyEntry* entry = parse_proxy_entry(nullptr, text.c_str());
    if (entry != nullptr && current) current_proxy.store(entry);
  }
  return false;
}

// [Secure pass-through]: one Host = "name" line per host; other lines are skipped.
bool read_pass_through(ConfigFile& file, std::string_view* line) {
  while (file.next(line)) {
    if (begins_section(*line)) return true;
    KeyLine k;
    if (parse_key_line(*line, &k) && config_name_is(k.key, "Host") && !k.value.empty()) {
      pass_through_hosts().emplace_back(k.value.substr(0, kPassThroughHostLimit));
    }
  }
  return false;
}

// One [HTTP headers] record, collected until its end.
struct HeaderRecord {
  uint16_t flags = 0;
  bool has_key = false;
  std::string key, match, replace;

  void apply(const KeyLine& k) {
    if (config_name_is(k.key, "In")) {
      if (read_config_truth(k.value)) flags |= HEADER_IN;
    } else if (config_name_is(k.key, "Out")) {
      if (read_config_truth(k.value)) flags |= HEADER_OUT;
    } else if (config_name_is(k.key, "Key")) {
      set_limited(&key, k.value, kHeaderKeyLimit);
      has_key = true;
    } else if (config_name_is(k.key, "Match")) {
      set_limited(&match, k.value, kHeaderTextLimit);
    } else if (config_name_is(k.key, "Replace")) {
      set_limited(&replace, k.value, kHeaderTextLimit);
    }
  }

  // Header filter values have no continuation lines.
  bool take_continuation(std::string_view) { return false; }

  // Builds the record (one without a Key line is dropped) and starts the next.
  void end() {
    int limit_result = kResultOk;
    if (has_key) {
      build_header_filter(nullptr, flags, key.c_str(), match.c_str(), replace.c_str(),
                          &limit_result);
    }
    show_compile_limit(limit_result);
    *this = HeaderRecord();
  }
};

// One [Patterns] record, collected until its end.
struct PatternRecord {
  uint16_t flags = 0;
  bool has_match = false;
  std::string name = kUnnamedPattern;
  std::string url, bounds, match, replace;
  uint32_t limit = kDefaultFilterLimit;
  // The value that a quoted line right after it continues (Match, URL or Replace), or none.
  std::string* continued = nullptr;
  size_t continued_limit = 0;

  // Runs after take_continuation has ended any continuation.
  void apply(const KeyLine& k) {
    if (config_name_is(k.key, "Name")) {
      set_limited(&name, k.value, kFilterNameLimit);
    } else if (config_name_is(k.key, "Active")) {
      if (read_config_truth(k.value)) flags |= FILTER_ACTIVE;
    } else if (config_name_is(k.key, "Multi")) {
      if (read_config_truth(k.value)) flags |= FILTER_MULTI;
    } else if (config_name_is(k.key, "Bounds") || config_name_is(k.key, "Suffix")) {
      set_limited(&bounds, k.value, kFilterBoundsLimit);
      for (char& c : bounds) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
    } else if (config_name_is(k.key, "Limit")) {
      limit = static_cast<uint32_t>(read_config_decimal(k.value));
    } else if (config_name_is(k.key, "URL")) {
      set_continued(&url, k.value, kFilterUrlLimit);
    } else if (config_name_is(k.key, "Match")) {
      set_continued(&match, k.value, kFilterTextLimit);
      has_match = true;
    } else if (config_name_is(k.key, "Replace")) {
      set_continued(&replace, k.value, kFilterTextLimit);
    }
  }

  void set_continued(std::string* field, std::string_view value, size_t limit) {
    set_limited(field, value, limit);
    continued = field;
    continued_limit = limit;
  }

  // A quoted line right after a URL, Match or Replace line (or a continuation of it) adds a
  // line to that value, joined by CR LF. Any other line ends the continuation.
  bool take_continuation(std::string_view line) {
    std::string_view text;
    if (continued == nullptr || !parse_continuation_line(line, &text)) {
      continued = nullptr;
      return false;
    }
    append_config_limited(continued, "\r\n", continued_limit);
    append_config_limited(continued, text, continued_limit);
    return true;
  }

  // Builds the record (one without a Match line is dropped) and starts the next.
  void end() {
    if (has_match) {
      int limit_result = kResultOk;
      build_web_filter(nullptr, flags, name.c_str(), url.c_str(), match.c_str(), bounds.c_str(),
                       limit, replace.c_str(), &limit_result);
      show_compile_limit(limit_result);
    }
    *this = PatternRecord();
  }
};

// The records of [HTTP headers] (HeaderRecord) or [Patterns] (PatternRecord): key lines until
// a line that ends the record, each record built at its end.
template <typename Record>
bool read_records(ConfigFile& file, std::string_view* line) {
  Record record;
  while (file.next(line)) {
    if (begins_section(*line)) {
      record.end();
      return true;
    }
    if (ends_record(*line)) {
      record.end();
      continue;
    }
    if (record.take_continuation(*line)) continue;
    KeyLine k;
    if (parse_key_line(*line, &k)) record.apply(k);
  }
  record.end();
  return false;
}

// Reads every section of the file in turn; lines outside known sections are skipped.
void read_sections(ConfigFile& file) {
  std::string_view line;
  bool have = file.next(&line);
  while (have) {
    switch (section_of(line)) {
      case Section::kGlobal:
        have = read_global(file, &line);
        break;
      case Section::kProxies:
        have = read_proxies(file, &line);
        break;
      case Section::kHeaders:
        have = read_records<HeaderRecord>(file, &line);
        break;
      case Section::kPatterns:
        have = read_records<PatternRecord>(file, &line);
        break;
      case Section::kPassThrough:
        have = read_pass_through(file, &line);
        break;
      case Section::kOther:
        have = file.next(&line);
        break;
    }
  }
}

}  // namespace

int config_file_error(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return errno;
  struct stat info;
  int error = 0;
  if (fstat(fileno(file), &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  }
  std::fclose(file);
  return error;
}

int load_config(const char* path) {
  std::optional<ConnectionLock> lock;
  lock.emplace();
  if (adjust_active_connections(0) != 0) {
    lock.reset();
    const int answer = ask_active_connections(on_active_connections_answer);
    lock = std::move(lock_from_answer);
    lock_from_answer.reset();
    if (answer != kLoadGoesOn) return 0;
  }
  bool read_whole = false;
  {
    settings_set_flags(kLoadDefaultFlags);
    settings().port.store(kDefaultPort);
    ConfigFile file(path);
    if (!file.is_open()) return 0;

    Settings& s = settings();
    s.auto_run.clear();
    for (std::string& texture : s.texture_paths) texture.clear();
    free_web_filters();
    free_header_filters();
    clear_proxy_list();
    pass_through_hosts().clear();
    // No connection is active and none can start while the lock is held: nothing can still
    // read a retired proxy entry.
    free_retired_proxies();

    read_sections(file);
    read_whole = !file.failed();
  }
  lock.reset();
  reload_textures();
  if (settings_has(InspectSecure)) prepare_inspection();
  return read_whole ? 1 : 0;
}

}  // namespace kw
