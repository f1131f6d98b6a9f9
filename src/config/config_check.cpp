// The configuration checker; see config_check.h.
#include "config/config_check.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "config/config_findings.h"
#include "config/config_image.h"
#include "config/config_reader.h"
#include "filters/pattern_compiler.h"

namespace kw {
namespace {

bool compiles(const std::string& text) {
  return text.empty() || static_cast<bool>(compile_pattern(text.c_str()));
}

void check_expression(ConfigImage& image, const char* section, const std::string& name, int line,
                      const char* key, const std::string& text) {
  if (compiles(text)) return;
  image.findings.push_back(
      {line, "[" + std::string(section) + "] \"" + name + "\": " + expression_failure(key)});
}

void check_expressions(ConfigImage& image) {
  for (const HeaderRecordImage& h : image.header_filters) {
    check_expression(image, "HTTP headers", h.key, h.match_line, "Match", h.match);
  }
  for (const PatternRecordImage& p : image.web_filters) {
    check_expression(image, "Patterns", p.name, p.url_line, "URL", p.url);
    check_expression(image, "Patterns", p.name, p.bounds_line, "Bounds", p.bounds);
    check_expression(image, "Patterns", p.name, p.match_line, "Match", p.match);
  }
}

}  // namespace

int check_config(const char* path, std::FILE* out, std::FILE* err) {
  ConfigImage image;
  if (!read_config_image(path, &image)) {
    std::fprintf(err, "%s: cannot read: %s\n", path, std::strerror(config_file_error(path)));
    return 2;
  }
  if (!image.read_whole) {
    std::fprintf(err, "%s: cannot read the whole file\n", path);
    return 2;
  }
  check_expressions(image);
  std::stable_sort(image.findings.begin(), image.findings.end(),
                   [](const ConfigFinding& a, const ConfigFinding& b) { return a.line < b.line; });
  for (const ConfigFinding& f : image.findings) {
    std::fprintf(out, "%s:%d: %s\n", path, f.line, f.message.c_str());
  }
  const size_t count = image.findings.size();
  if (count == 0) {
    std::fprintf(out, "%s: no findings\n", path);
  } else {
    std::fprintf(out, "%s: %zu finding%s\n", path, count, count == 1 ? "" : "s");
  }
  std::fflush(out);
  return count == 0 ? 0 : 1;
}

}  // namespace kw
