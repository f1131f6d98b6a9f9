// load_config: reads the file into a ConfigImage (config_image.h holds the format's section
// rules) and puts it into the running program; config_file_error.
#include "config/config_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "base/settings.h"
#include "config/config_findings.h"
#include "config/config_image.h"
#include "engine/listener.h"
#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "filters/web_filter.h"
#include "platform/wait_until.h"
#include "proxies/proxy_list.h"
#include "report/frontend.h"
#include "secure/interception.h"

namespace kw {
namespace {

// Result of the active-connections question when the load goes on (with the lock held).
constexpr int kLoadGoesOn = 2;
// How long Kill Connections waits for the killed connections to count themselves out before
// it looks at the count.
constexpr auto kKillWait = std::chrono::seconds(5);

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

// The log line for an expression of a record just built that has a text but no code: the
// record is kept (a web filter inactive, a header filter never matching) and the user learns
// which filter and which line to mend.
void report_failure(const char* section, const std::string& name, int line, const char* key) {
  add_log_linef("R[%s] \"%s\", line %d: %s; the filter is off", section, name.c_str(), line,
                expression_failure(key).c_str());
}

template <typename Record>
Record* last_of(Record* list) {
  while (list != nullptr && list->next != nullptr) list = list->next;
  return list;
}

void build_header_filters(const ConfigImage& image) {
  for (const HeaderRecordImage& h : image.header_filters) {
    int limit_result = kResultOk;
    build_header_filter(nullptr, h.flags, h.key.c_str(), h.match.c_str(), h.replace.c_str(),
                        &limit_result);
    show_compile_limit(limit_result);
    const HeaderFilter* built = last_of(header_filter_list);
    if (built != nullptr && built->match && !built->match_code) {
      report_failure("HTTP headers", h.key, h.match_line, "Match");
    }
  }
}

void build_web_filters(const ConfigImage& image) {
  for (const PatternRecordImage& p : image.web_filters) {
    int limit_result = kResultOk;
    build_web_filter(nullptr, p.flags, p.name.c_str(), p.url.c_str(), p.match.c_str(),
                     p.bounds.c_str(), p.limit, p.replace.c_str(), &limit_result);
    show_compile_limit(limit_result);
    const WebFilter* built = last_of(web_filter_list);
    if (built == nullptr) continue;
    if (built->url && !built->url_code) report_failure("Patterns", p.name, p.url_line, "URL");
    if (built->bounds && !built->bounds_code) {
      report_failure("Patterns", p.name, p.bounds_line, "Bounds");
    }
    if (built->match && !built->match_code) {
      report_failure("Patterns", p.name, p.match_line, "Match");
    }
  }
}

// Puts what the file says into the running program.
void apply_image(const ConfigImage& image) {
  Settings& s = settings();
  settings_set_flags(image.flags);
  s.port.store(image.port);
  s.auto_run = image.auto_run;
  for (int i = 0; i < kTextureCount; ++i) s.texture_paths[i] = image.texture_paths[i];
  build_header_filters(image);
  build_web_filters(image);
  for (const ProxyLineImage& line : image.proxies) {
    ProxyEntry* entry = parse_proxy_entry(nullptr, line.text.c_str());
    if (entry != nullptr && line.current) current_proxy.store(entry);
  }
  pass_through_hosts() = image.pass_through_hosts;
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
    ConfigImage image;
    if (!read_config_image(path, &image)) return 0;

    free_web_filters();
    free_header_filters();
    clear_proxy_list();
    // No connection is active and none can start while the lock is held: nothing can still
    // read a retired proxy entry.
    free_retired_proxies();

    apply_image(image);
    // The page scan's table for the new list, made now rather than by the first page.
    installed_scan_table();
    read_whole = image.read_whole;
  }
  lock.reset();
  reload_textures();
  if (settings_has(InspectSecure)) prepare_inspection();
  return read_whole ? 1 : 0;
}

}  // namespace kw
