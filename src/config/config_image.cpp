// The section readers of the configuration file format; see config_image.h.
//
// The file is a sequence of sections. The main loop looks for section headers; each known
// section's reader takes the lines after the header and stops at the line that begins the next
// section (first non-blank character '['), which the main loop then reads as a header. Lines
// are read whole (a value never exceeds its limit, which cuts it); config_format.h holds the
// rules of single lines.
#include "config/config_image.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "config/config_findings.h"
#include "config/config_format.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"

namespace kw {
namespace {

constexpr long kPortHigh = 65535;

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
  // The number of the line next() gave last, from 1.
  int line_number() const { return line_number_; }

  // The next line without its line end (LF, or CR LF), cut at its first NUL byte. The view
  // lives until the next call. False at the end of the file or on a read error.
  bool next(std::string_view* line) {
    ssize_t n = getline(&buffer_, &capacity_, file_);
    if (n < 0) return false;
    ++line_number_;
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
  int line_number_ = 0;
};

// Reading state shared by the section readers: the file and what it says so far.
struct Reading {
  ConfigFile& file;
  ConfigImage& image;

  void note(std::string message) { note_at(file.line_number(), std::move(message)); }
  void note_at(int line, std::string message) {
    if (!message.empty()) image.findings.push_back({line, std::move(message)});
  }
};

enum class Section { kOther, kGlobal, kProxies, kHeaders, kPatterns, kPassThrough };

// A section header: the first character that is not a space or control character is '[' and a
// ']' follows; the name between them is taken exactly. Unknown names, and '[' lines without
// ']', give kOther; *header is then the header as written (from its '[' up to its ']').
Section section_of(std::string_view line, std::string_view* header) {
  size_t i = 0;
  while (i < line.size() && is_config_space(line[i])) ++i;
  *header = line.substr(i);
  if (i == line.size() || line[i] != '[') return Section::kOther;
  const size_t close = line.find(']', i + 1);
  if (close == std::string_view::npos) return Section::kOther;
  *header = line.substr(i, close - i + 1);
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

// A line the reader passes over that a person wrote as a comment.
bool is_comment(std::string_view line) {
  std::string_view rest = skip_config_blanks(line);
  return !rest.empty() && (rest[0] == '#' || rest[0] == ';');
}

void note_not_key_line(Reading& r, std::string_view line) {
  if (!is_comment(line)) r.note("not a KEY = VALUE line");
}

void set_limited(std::string* field, std::string_view value, size_t limit) {
  field->assign(value.substr(0, limit));
}

bool read_truth(Reading& r, const KeyLine& k) {
  r.note(truth_finding(k.key, k.value));
  return read_config_truth(k.value);
}

void apply_global_key(Reading& r, const KeyLine& k) {
  ConfigImage& image = r.image;
  for (const FlagKey& f : kConfigFlagKeys) {
    if (config_name_is(k.key, f.key)) {
      if (read_truth(r, k)) image.flags |= f.flag;
      return;
    }
  }
  if (config_name_is(k.key, "Port")) {
    r.note(number_finding(k.key, k.value, 0, kPortHigh));
    image.port = read_config_decimal(k.value);
    return;
  }
  if (config_name_is(k.key, "AutoRun")) {
    set_limited(&image.auto_run, k.value, kAutoRunLimit);
    return;
  }
  for (int i = 0; i < kTextureCount; ++i) {
    if (config_name_is(k.key, kTextureKeys[i])) {
      image.texture_paths[i] = resolve_config_path(k.value, program_directory());
      return;
    }
  }
  r.note(unknown_key_finding(k.key, "Global",
                             {"Enable", "FilterHTML", "FilterHeadersIn", "FilterHeadersOut",
                              "FreezeGIF", "EnableProxy", "EnableAutoRun", "ForceTextures",
                              "NoTextures", "InspectSecure", "Port", "AutoRun", "Back.BMP", "Inset.BMP",
                              "Face1.BMP", "Face2.BMP", "Button.BMP"}));
}

// Each reader takes the lines after its header. It returns true with *line holding the line
// that begins the next section, or false at the end of the file.

bool read_global(Reading& r, std::string_view* line) {
  r.image.flags = 0;
  while (r.file.next(line)) {
    if (begins_section(*line)) return true;
    KeyLine k;
    if (parse_key_line(*line, &k)) {
      if (!is_comment(*line)) apply_global_key(r, k);
    } else if (!ends_record(*line)) {
      note_not_key_line(r, *line);
    }
  }
  return false;
}

// [Secure pass-through]: one Host = "name" line per host.
bool read_pass_through(Reading& r, std::string_view* line) {
  while (r.file.next(line)) {
    if (begins_section(*line)) return true;
    KeyLine k;
    if (!parse_key_line(*line, &k)) {
      if (!ends_record(*line)) note_not_key_line(r, *line);
      continue;
    }
    if (is_comment(*line)) continue;
    if (!config_name_is(k.key, "Host")) {
      r.note(unknown_key_finding(k.key, "Secure pass-through", {"Host"}));
    } else if (k.value.empty()) {
      r.note("Host without a name");
    } else {
      r.image.pass_through_hosts.emplace_back(k.value.substr(0, kPassThroughHostLimit));
    }
  }
  return false;
}

bool read_proxies(Reading& r, std::string_view* line) {
  while (r.file.next(line)) {
    size_t i = 0;
    while (i < line->size() && is_config_space((*line)[i])) ++i;
    std::string_view rest = line->substr(i);
    if (rest.empty() || rest[0] == '#' || rest[0] == ';') continue;
    if (rest[0] == '[') return true;
    ProxyLineImage entry;
    entry.current = rest[0] == '>';
    if (entry.current) rest.remove_prefix(1);
    entry.text.assign(rest.substr(0, kProxyEntryTextLimit));
    std::string_view checked = entry.text;
    while (!checked.empty() && is_config_space(checked.back())) checked.remove_suffix(1);
    r.note(proxy_finding(checked));
    r.image.proxies.push_back(std::move(entry));
  }
  return false;
}

// One [HTTP headers] record, collected until its end.
struct HeaderRecord {
  HeaderRecordImage image;
  bool has_key = false;

  void apply(Reading& r, const KeyLine& k) {
    if (config_name_is(k.key, "In")) {
      if (read_truth(r, k)) image.flags |= HEADER_IN;
    } else if (config_name_is(k.key, "Out")) {
      if (read_truth(r, k)) image.flags |= HEADER_OUT;
    } else if (config_name_is(k.key, "Key")) {
      set_limited(&image.key, k.value, kHeaderKeyLimit);
      has_key = true;
    } else if (config_name_is(k.key, "Match")) {
      set_limited(&image.match, k.value, kHeaderTextLimit);
      image.match_line = r.file.line_number();
    } else if (config_name_is(k.key, "Replace")) {
      set_limited(&image.replace, k.value, kHeaderTextLimit);
    } else {
      r.note(unknown_key_finding(k.key, "HTTP headers", {"In", "Out", "Key", "Match", "Replace"}));
    }
  }

  // Header filter values have no continuation lines.
  bool take_continuation(std::string_view) { return false; }

  // Keeps the record (one without a Key line is dropped) and starts the next.
  void end(Reading& r) {
    if (has_key) {
      r.image.header_filters.push_back(std::move(image));
    } else if (image.line != 0) {
      r.note_at(image.line, "[HTTP headers] record without a Key line is left out");
    }
    *this = HeaderRecord();
  }
};

// One [Patterns] record, collected until its end.
struct PatternRecord {
  PatternRecordImage image;
  bool has_match = false;
  // The value that a quoted line right after it continues (Match, URL or Replace), or none.
  std::string* continued = nullptr;
  size_t continued_limit = 0;

  // Runs after take_continuation has ended any continuation.
  void apply(Reading& r, const KeyLine& k) {
    const int line = r.file.line_number();
    if (config_name_is(k.key, "Name")) {
      set_limited(&image.name, k.value, kFilterNameLimit);
    } else if (config_name_is(k.key, "Active")) {
      if (read_truth(r, k)) image.flags |= FILTER_ACTIVE;
    } else if (config_name_is(k.key, "Multi")) {
      if (read_truth(r, k)) image.flags |= FILTER_MULTI;
    } else if (config_name_is(k.key, "Bounds") || config_name_is(k.key, "Suffix")) {
      set_limited(&image.bounds, k.value, kFilterBoundsLimit);
      for (char& c : image.bounds) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
      image.bounds_line = line;
    } else if (config_name_is(k.key, "Limit")) {
      r.note(number_finding(k.key, k.value, 0, kMaxFilterLimit));
      image.limit = static_cast<uint32_t>(read_config_decimal(k.value));
    } else if (config_name_is(k.key, "URL")) {
      set_continued(&image.url, k.value, kFilterUrlLimit);
      image.url_line = line;
    } else if (config_name_is(k.key, "Match")) {
      set_continued(&image.match, k.value, kFilterTextLimit);
      image.match_line = line;
      has_match = true;
    } else if (config_name_is(k.key, "Replace")) {
      set_continued(&image.replace, k.value, kFilterTextLimit);
    } else {
      r.note(unknown_key_finding(
          k.key, "Patterns",
          {"Name", "Active", "Multi", "Bounds", "Suffix", "Limit", "URL", "Match", "Replace"}));
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

  // Keeps the record (one without a Match line is dropped) and starts the next.
  void end(Reading& r) {
    if (has_match) {
      r.image.web_filters.push_back(std::move(image));
    } else if (image.line != 0) {
      r.note_at(image.line, "[Patterns] record \"" + image.name +
                                "\" without a Match line is left out");
    }
    *this = PatternRecord();
  }
};

// The records of [HTTP headers] (HeaderRecord) or [Patterns] (PatternRecord): key lines until
// a line that ends the record, each record kept at its end.
template <typename Record>
bool read_records(Reading& r, std::string_view* line) {
  Record record;
  while (r.file.next(line)) {
    if (begins_section(*line)) {
      record.end(r);
      return true;
    }
    if (ends_record(*line)) {
      record.end(r);
      continue;
    }
    if (record.take_continuation(*line) || is_comment(*line)) continue;
    if (record.image.line == 0) record.image.line = r.file.line_number();
    KeyLine k;
    if (parse_key_line(*line, &k)) {
      record.apply(r, k);
    } else {
      r.note("not a KEY = VALUE line");
    }
  }
  record.end(r);
  return false;
}

// Reads every section of the file in turn; lines outside known sections are skipped.
void read_sections(Reading& r) {
  std::string_view line;
  bool have = r.file.next(&line);
  while (have) {
    std::string_view header;
    switch (section_of(line, &header)) {
      case Section::kGlobal:
        have = read_global(r, &line);
        break;
      case Section::kProxies:
        have = read_proxies(r, &line);
        break;
      case Section::kHeaders:
        have = read_records<HeaderRecord>(r, &line);
        break;
      case Section::kPatterns:
        have = read_records<PatternRecord>(r, &line);
        break;
      case Section::kPassThrough:
        have = read_pass_through(r, &line);
        break;
      case Section::kOther:
        if (begins_section(line)) r.note("unknown section " + std::string(header));
        have = r.file.next(&line);
        break;
    }
  }
}

}  // namespace

bool read_config_image(const char* path, ConfigImage* image) {
  ConfigFile file(path);
  if (!file.is_open()) return false;
  Reading r{file, *image};
  read_sections(r);
  image->read_whole = !file.failed();
  return true;
}

}  // namespace kw
