// save_config: the file text in the order the format fixes, then a write through a temporary
// file and a rename, so that a full disk or a failing device never leaves a cut-off file
// where the old configuration was.
#include "config/config_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/settings.h"
#include "config/config_format.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"
#include "proxies/proxy_list.h"
#include "secure/interception.h"

namespace kw {
namespace {

constexpr char kEol[] = "\r\n";
// A line of a split multi-line text holds at most this many characters.
constexpr size_t kWrittenLineLimit = 2047;

void put_flag(std::string* out, const char* key, bool on) {
  out->append(key).append(on ? " = TRUE" : " = FALSE").append(kEol);
}

// key = "text", the text up to its first line end: a line end inside a one-line field would
// end the line in the file and turn the rest into a line of its own.
void put_text(std::string* out, const char* key, std::string_view text) {
  text = text.substr(0, text.find_first_of("\r\n"));
  out->append(key).append(" = \"").append(text).append("\"").append(kEol);
}

// The length of the line end at the start of text, longest first: CR LF LF CR, CR LF LF,
// CR LF, CR, LF CR, LF.
size_t line_end_length(std::string_view text) {
  for (std::string_view end : {"\r\n\n\r", "\r\n\n", "\r\n", "\r", "\n\r", "\n"}) {
    if (text.substr(0, end.size()) == end) return end.size();
  }
  return 0;
}

// A text that may hold line ends: the first line after `key = "`, each further line as a
// continuation with its quote under the first one. A line end at the very end adds no line.
void put_lines(std::string* out, const char* key, std::string_view text) {
  const std::string indent(std::string_view(key).size() + 3, ' ');
  bool first = true;
  do {
    const size_t line_length = std::min(text.find_first_of("\r\n"), text.size());
    const std::string_view line = text.substr(0, std::min(line_length, kWrittenLineLimit));
    if (first) {
      out->append(key).append(" = ");
    } else {
      out->append(indent);
    }
    out->append("\"").append(line).append("\"").append(kEol);
    text.remove_prefix(line_length);
    text.remove_prefix(line_end_length(text));
    first = false;
  } while (!text.empty());
}

void put_global(std::string* out) {
  const uint32_t flags = settings_flags();
  const Settings& s = settings();
  out->append("[Global]").append(kEol);
  // Every flag line, always all of them.
  for (const FlagKey& f : kConfigFlagKeys) put_flag(out, f.key, (flags & f.flag) != 0);
  if (!s.auto_run.empty()) put_text(out, "AutoRun", s.auto_run);
  for (int i = 0; i < kTextureCount; ++i) {
    if (!s.texture_paths[i].empty()) {
      put_text(out, kTextureKeys[i], relative_config_path(s.texture_paths[i], program_directory()));
    }
  }
  out->append("Port = ").append(std::to_string(settings_port())).append(kEol).append(kEol);
}

void put_header_filters(std::string* out) {
  out->append("[HTTP headers]").append(kEol);
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    put_flag(out, "In", (f->flags & HEADER_IN) != 0);
    put_flag(out, "Out", (f->flags & HEADER_OUT) != 0);
    if (f->key) put_text(out, "Key", f->key.get());
    if (f->match) put_text(out, "Match", f->match.get());
    if (f->replace) put_text(out, "Replace", f->replace.get());
    out->append(kEol);
  }
  out->append(kEol);
}

void put_web_filters(std::string* out) {
  out->append("[Patterns]").append(kEol);
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    if (f->name) put_text(out, "Name", f->name.get());
    put_flag(out, "Active", (f->flags & FILTER_ACTIVE) != 0);
    if (f->flags & FILTER_MULTI) put_flag(out, "Multi", true);
    if (f->url) put_lines(out, "URL", f->url.get());
    if (f->bounds) put_text(out, "Bounds", f->bounds.get());
    if (f->limit != 0) out->append("Limit = ").append(std::to_string(f->limit)).append(kEol);
    if (f->match) put_lines(out, "Match", f->match.get());
    if (f->replace) put_lines(out, "Replace", f->replace.get());
    out->append(kEol);
  }
  out->append(kEol);
}

void put_proxies(std::string* out) {
  out->append("[Proxies]").append(kEol);
  const ProxyEntry* current = current_proxy.load();
  for (const ProxyEntry* e = proxy_list; e != nullptr; e = e->next) {
    std::string_view host(e->host);
    host = host.substr(0, host.find_first_of("\r\n"));
    out->append(e == current ? ">" : " ")
        .append(host)
        .append(":")
        .append(std::to_string(e->port))
        .append(kEol);
  }
  out->append(kEol);
}

// Written only when it lists a host, so files of users who never inspect stay as they were.
void put_pass_through(std::string* out) {
  if (pass_through_hosts().empty()) return;
  out->append("[Secure pass-through]").append(kEol);
  for (const std::string& host : pass_through_hosts()) put_text(out, "Host", host);
  out->append(kEol);
}

// Owns a descriptor of the temporary file; removes the file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      char suffix[48];
      std::snprintf(suffix, sizeof suffix, ".kw%ld-%u.tmp", static_cast<long>(getpid()),
                    counter.fetch_add(1));
      path_ = target + suffix;
      fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    created_ = fd_ >= 0;
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (created_ && !renamed_) unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool write_all(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  // Closes the file; false when the data may not have reached it whole.
  bool finish() {
    const bool synced = fsync(fd_) == 0;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
  }

  bool rename_to(const std::string& target) {
    renamed_ = rename(path_.c_str(), target.c_str()) == 0;
    return renamed_;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;  // path_ names a file this object made
  bool renamed_ = false;
};

// The file a save replaces: the path itself, or what a symbolic link at the path names.
std::string save_target(const char* path) {
  struct stat info;
  if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved) != nullptr) return resolved;
  }
  return path;
}

}  // namespace

std::string config_file_text() {
  std::string out;
  out.append("##").append(kEol);
  out.append("## Kestrelwick Config File").append(kEol);
  out.append("##").append(kEol).append(kEol);
  put_global(&out);
  put_header_filters(&out);
  put_web_filters(&out);
  put_proxies(&out);
  put_pass_through(&out);
  return out;
}

int save_config(const char* path) {
  if (path[0] == '\0') return 0;
  const std::string target = save_target(path);
  TemporaryFile file(target);
  if (!file.is_open()) return 0;
  // The new file keeps the permissions of the one it replaces.
  struct stat old;
  if (stat(target.c_str(), &old) == 0) fchmod(file.fd(), old.st_mode & 07777);
  if (!file.write_all(config_file_text()) || !file.finish() || !file.rename_to(target)) return 0;
  settings_clear_flags(Changed);
  return 1;
}

}  // namespace kw
