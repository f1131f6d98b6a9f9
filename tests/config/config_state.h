// Helpers of the configuration tests: the running configuration described as plain texts, so
// that tests compare whole states, and one configuration with every kind of record.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "base/settings.h"
#include "config/config_commands.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"
#include "proxies/proxy_list.h"
#include "secure/interception.h"
#include "support/files.h"  // write_file, read_file

namespace kw::test {

// Empties every list, the retired proxies, the texts of the settings and the last
// configuration file; flag word and port 0, as at process start.
inline void reset_configuration() {
  free_web_filters();
  free_header_filters();
  clear_proxy_list();
  free_retired_proxies();
  pass_through_hosts().clear();
  settings().flags.store(0);
  settings().port.store(0);
  settings().auto_run.clear();
  for (std::string& path : settings().texture_paths) path.clear();
  forget_last_config_file();
}

// Flags, port, auto-run line and texture paths in one text.
inline std::string settings_text() {
  std::string text = "flags=" + std::to_string(settings_flags()) +
                     " port=" + std::to_string(settings_port()) + " autorun=" + settings().auto_run;
  for (const std::string& path : settings().texture_paths) text += " texture=" + path;
  return text;
}

// The lists, one line each entry, missing texts as "-": "header FLAGS|key|match|replace" (flags
// "I" in, "O" out), "web name|FLAGS|url|bounds|limit|match|replace" (flags "A" active, "M"
// multi), "proxy host:port" ("proxy >..." for the current one; in reverse order when asked, as
// a load puts each entry it reads in front), then the secure pass-through hosts as "pass host".
inline std::string lists_text(bool proxies_reversed = false) {
  const auto text_or_dash = [](const HeapText& text) { return text ? text.get() : "-"; };
  std::string text;
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    text += std::string("header ") + (f->flags & HEADER_IN ? "I" : "") +
            (f->flags & HEADER_OUT ? "O" : "") + "|" + text_or_dash(f->key) + "|" +
            text_or_dash(f->match) + "|" + text_or_dash(f->replace) + "\n";
  }
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    text += "web " + std::string(text_or_dash(f->name)) + "|" +
            (f->flags & FILTER_ACTIVE ? "A" : "") + (f->flags & FILTER_MULTI ? "M" : "") + "|" +
            text_or_dash(f->url) + "|" + text_or_dash(f->bounds) + "|" + std::to_string(f->limit) +
            "|" + text_or_dash(f->match) + "|" + text_or_dash(f->replace) + "\n";
  }
  std::vector<std::string> proxies;
  for (ProxyEntry* e = proxy_list; e != nullptr; e = e->next) {
    proxies.push_back("proxy " + std::string(e == current_proxy.load() ? ">" : "") + e->host + ":" +
                      std::to_string(e->port) + "\n");
  }
  if (proxies_reversed) std::reverse(proxies.begin(), proxies.end());
  for (const std::string& p : proxies) text += p;
  for (const std::string& host : pass_through_hosts()) text += "pass " + host + "\n";
  return text;
}

// Both of the above in one text (for comparing whole configurations).
inline std::string configuration_text() { return settings_text() + "\n" + lists_text(); }

// Every key the writer writes, at the top of its range, and records the reader cannot make: no
// name, limit 0, texts ending in a line end, line ends of every kind in one-line and multi-line
// texts.
inline void build_every_kind() {
  settings_set_flags(Enable | FilterHeadersIn | EnableProxy | NoTextures);
  settings().port.store(65535);
  settings().auto_run = "\"my prog\" -x \n[Proxies]";
  settings().texture_paths[kBackTexture] = std::string(program_directory()) + "skins/back.bmp";
  settings().texture_paths[kButtonTexture] = "/elsewhere/button.bmp";
  build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "Two \"quoted\" ", "*.example/",
                   "a\r\n\r\nb", "<*>", 0, "x\r\n");
  build_web_filter(nullptr, 0, nullptr, "first\r\nsecond", "m", nullptr, kMaxFilterLimit, nullptr);
  build_web_filter(nullptr, 0, "name\r\nActive = TRUE", nullptr,
                   "1\r\n\n\r2\r\n\n3\r\n4\r5\n\r6\n7\n", "b\nLimit = 1", 0, nullptr);
  build_header_filter(nullptr, HEADER_OUT, "Accept-Encoding: plain pages", nullptr, nullptr);
  build_header_filter(nullptr, HEADER_IN | HEADER_OUT, "Via", "*", " \"x\" ");
  parse_proxy_entry(nullptr, "a:1");
  current_proxy.store(parse_proxy_entry(nullptr, "b:2"));
  parse_proxy_entry(nullptr, "c");
  parse_proxy_entry(nullptr, "host\r\n>evil:1");
  pass_through_hosts() = {"*.bank.example"};
}

}  // namespace kw::test
