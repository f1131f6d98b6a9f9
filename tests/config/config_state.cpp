// Configuration test helpers; see config_state.h.
#include "config_state.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "base/settings.h"
#include "config/config_commands.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "proxies/proxy_list.h"
#include "secure/interception.h"

namespace kw::test {
namespace {

std::string text_or_dash(const HeapText& text) { return text ? text.get() : "-"; }

}  // namespace

void reset_configuration() {
  free_web_filters();
  free_header_filters();
  clear_proxy_list();
  free_retired_proxies();
  pass_through_hosts().clear();
  Settings& s = settings();
  s.flags.store(0);
  s.port.store(0);
  s.auto_run.clear();
  for (std::string& path : s.texture_paths) path.clear();
  forget_last_config_file();
}

std::string settings_text() {
  const Settings& s = settings();
  std::ostringstream out;
  out << "flags=" << settings_flags() << " port=" << settings_port() << " autorun=" << s.auto_run;
  for (const std::string& path : s.texture_paths) out << " texture=" << path;
  return out.str();
}

std::string lists_text(bool proxies_reversed) {
  std::string text;
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    text += std::string("header ") + (f->flags & HEADER_IN ? "I" : "") +
            (f->flags & HEADER_OUT ? "O" : "") + "|" + text_or_dash(f->key) + "|" +
            text_or_dash(f->match) + "|" + text_or_dash(f->replace) + "\n";
  }
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    text += "web " + text_or_dash(f->name) + "|" + (f->flags & FILTER_ACTIVE ? "A" : "") +
            (f->flags & FILTER_MULTI ? "M" : "") + "|" + text_or_dash(f->url) + "|" +
            text_or_dash(f->bounds) + "|" + std::to_string(f->limit) + "|" +
            text_or_dash(f->match) + "|" + text_or_dash(f->replace) + "\n";
  }
  std::vector<std::string> proxies;
  for (ProxyEntry* e = proxy_list; e != nullptr; e = e->next) {
    proxies.push_back("proxy " + std::string(e == current_proxy.load() ? ">" : "") + e->host +
                      ":" + std::to_string(e->port) + "\n");
  }
  if (proxies_reversed) std::reverse(proxies.begin(), proxies.end());
  for (const std::string& p : proxies) text += p;
  for (const std::string& host : pass_through_hosts()) text += "pass " + host + "\n";
  return text;
}

std::string configuration_text() { return settings_text() + "\n" + lists_text(); }

}  // namespace kw::test
