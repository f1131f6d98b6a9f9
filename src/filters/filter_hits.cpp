// The hit count lines; see filter_hits.h.
#include "filters/filter_hits.h"

#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "filters/web_filter.h"

namespace kw {
namespace {

std::string hit_line(const char* kind, int number, const HeapText& name, uint64_t hits) {
  std::string line = std::string(kind) + " filter " + std::to_string(number) + " \"";
  if (name != nullptr) line += name.get();
  line += "\": " + std::to_string(hits) + (hits == 1 ? " hit" : " hits");
  return line;
}

}  // namespace

std::vector<std::string> filter_hit_lines() {
  std::vector<std::string> lines;
  web_filter_users_add(1);
  int number = 0;
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    lines.push_back(hit_line("web", ++number, f->name, f->hits.value()));
  }
  web_filter_users_add(-1);
  header_filter_users_add(1);
  number = 0;
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    lines.push_back(hit_line("header", ++number, f->key, f->hits.value()));
  }
  header_filter_users_add(-1);
  return lines;
}

void print_filter_hits(std::FILE* out) {
  std::string text;
  for (const std::string& line : filter_hit_lines()) text += line + '\n';
  // One write for all lines, so that log lines written meanwhile by another thread come before
  // or after them, never between.
  std::fflush(out);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

}  // namespace kw
