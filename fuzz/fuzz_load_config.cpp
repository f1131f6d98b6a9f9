// Configuration files of arbitrary bytes: load_config reads every one, every field stays within
// its limit, and what the writer makes of the result loads again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/settings.h"
#include "config/config_format.h"
#include "config/config_reader.h"
#include "config/config_writer.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "proxies/proxy_list.h"

namespace {

// One in-memory file for the whole run, reached through its /proc path like any file.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("fuzz.cfg", 0)) {
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  const char* fill(const void* data, size_t size) {
    if (ftruncate(fd_, 0) != 0) std::abort();
    if (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    return path_.c_str();
  }

 private:
  int fd_;
  std::string path_;
};

size_t length(const kw::HeapText& text) { return text ? std::strlen(text.get()) : 0; }

void check_limits() {
  const kw::Settings& s = kw::settings();
  if (s.auto_run.size() > kw::kAutoRunLimit) std::abort();
  for (const std::string& path : s.texture_paths) {
    if (path.size() > kw::kConfigPathLimit) std::abort();
  }
  for (const kw::WebFilter* f = kw::web_filter_list; f != nullptr; f = f->next) {
    if (length(f->name) > kw::kFilterNameLimit || length(f->url) > kw::kFilterUrlLimit ||
        length(f->bounds) > kw::kFilterBoundsLimit || length(f->match) > kw::kFilterTextLimit ||
        length(f->replace) > kw::kFilterTextLimit || f->limit > kw::kMaxFilterLimit) {
      std::abort();
    }
    for (const char* c = f->bounds.get(); c != nullptr && *c != '\0'; ++c) {
      if (*c >= 'A' && *c <= 'Z') std::abort();
    }
  }
  for (const kw::HeaderFilter* f = kw::header_filter_list; f != nullptr; f = f->next) {
    if (length(f->key) > kw::kHeaderKeyLimit || length(f->match) > kw::kHeaderTextLimit ||
        length(f->replace) > kw::kHeaderTextLimit) {
      std::abort();
    }
  }
  bool current_found = kw::current_proxy.load() == nullptr;
  for (const kw::ProxyEntry* e = kw::proxy_list; e != nullptr; e = e->next) {
    if (std::strlen(e->host) > kw::kProxyEntryTextLimit) std::abort();
    if (e == kw::current_proxy.load()) current_found = true;
  }
  if (!current_found) std::abort();
  if (kw::settings_has(kw::Changed)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFile file;
  if (kw::load_config(file.fill(data, size)) != 1) std::abort();
  check_limits();
  const std::string written = kw::config_file_text();
  if (kw::load_config(file.fill(written.data(), written.size())) != 1) std::abort();
  check_limits();
  return 0;
}
