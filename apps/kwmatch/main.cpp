// kwmatch: tries a matching expression on files through the page filter's own scan (the one the
// filter editor's try window uses), for people who write filters.
//
//   kwmatch [--limit N] [--bounds EXPR] EXPRESSION FILE...
//   kwmatch --code EXPRESSION
//
// Every position is tried in order; a match (not empty, and with --bounds ending exactly where
// the bounds match ends) is printed with its offset, length, text and non-empty variables, and
// scanning goes on at its end. Exit status: 0 when something matched, 1 when nothing did, 2 for
// a bad expression, a bad option or an unreadable file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"
#include "filters/filter_trial.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"
#include "filters/web_filter.h"

namespace {

using kw::MatchFunction;
using kw::PatternCode;

constexpr int kUsageError = 2;

constexpr char kUsage[] =
    "usage: kwmatch [--limit N] [--bounds EXPRESSION] EXPRESSION FILE...\n"
    "       kwmatch --code EXPRESSION\n"
    "Tries EXPRESSION at every position of each FILE (- for standard input) and prints\n"
    "each match as FILE:OFFSET:LENGTH: TEXT, then its non-empty variables.\n"
    "  --limit N        bytes examined per position (1 to 32767, default 4096)\n"
    "  --bounds EXPR    a match must fill the text this expression matches exactly\n"
    "  --code           print the compiled code in hex and the complexity level\n"
    "  -h, --help       show this text\n";

int usage() {
  std::fputs(kUsage, stderr);
  return kUsageError;
}

// A bad value of an option: says which option and what it takes.
int bad_value(const std::string& option, const char* value, const char* wanted) {
  std::fprintf(stderr, "kwmatch: %s takes %s, not \"%s\"\n", option.c_str(), wanted, value);
  return kUsageError;
}

PatternCode compile_or_report(const char* what, const char* expression, MatchFunction* choice) {
  int result = kw::kResultOk;
  PatternCode code = kw::compile_pattern(expression, choice, &result);
  if (result == kw::kResultBadPattern) {
    std::fprintf(stderr, "kwmatch: the %s does not compile: check for mis-matched [] or ()\n",
                 what);
  } else if (result != kw::kResultOk) {
    std::fprintf(stderr, "kwmatch: %s\n", kw::result_name(result));
  }
  return code;
}

void print_code(const PatternCode& code) {
  const int level = code.level();
  std::printf("level %d (%s matcher), %zu bytes\n", level,
              level <= 2                                 ? "simple"
              : kw::sequence_matcher_fits(code.code()) ? "sequence"
              : kw::chain_matcher_fits(code.code())    ? "chain"
                                                       : "full",
              code.size());
  for (size_t i = 0; i < code.size(); ++i) {
    std::printf(i % 16 == 15 || i + 1 == code.size() ? "%02x\n" : "%02x ", code.code()[i]);
  }
}

// The whole file (- for standard input); 0, or the errno that stopped the reading.
int read_file(const char* name, std::vector<char>* out) {
  const bool standard_input = std::strcmp(name, "-") == 0;
  std::FILE* in = standard_input ? stdin : std::fopen(name, "rb");
  if (in == nullptr) return errno;
  char block[65536];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, in)) > 0) out->insert(out->end(), block, block + n);
  const int error = std::ferror(in) ? (errno != 0 ? errno : EIO) : 0;
  if (!standard_input) std::fclose(in);
  return error;
}

// Runs the filter over one text through the proxy's own page scan; returns the number of
// matches printed.
int scan(const char* name, const std::vector<char>& text, const kw::WebFilter& filter) {
  const kw::FilterTrial trial =
      kw::try_web_filter(filter, std::string_view(text.data(), text.size()));
  for (const kw::TrialMatch& m : trial.matches) {
    std::printf("%s:%zu:%zu: %s\n", name, m.offset, m.length, kw::escaped_bytes(m.text).c_str());
    for (int d = 0; d < kw::kVariableCount; ++d) {
      if (m.variables[d].empty()) continue;
      std::printf("    \\%d=%s\n", d, kw::escaped_bytes(m.variables[d]).c_str());
    }
  }
  return static_cast<int>(trial.matches.size());
}

}  // namespace

int main(int argc, char** argv) {
  long limit = kw::kDefaultFilterLimit;
  const char* bounds_text = nullptr;
  bool code_only = false;
  int arg = 1;
  for (; arg < argc && (std::strncmp(argv[arg], "--", 2) == 0 || std::strcmp(argv[arg], "-h") == 0);
       ++arg) {
    const std::string option = argv[arg];
    if (option == "-h" || option == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option == "--") {
      ++arg;
      break;
    } else if (option == "--code") {
      code_only = true;
    } else if ((option == "--limit" || option == "--bounds") && arg + 1 < argc) {
      const char* value = argv[++arg];
      if (option == "--bounds") {
        bounds_text = value;
        continue;
      }
      char* rest = nullptr;
      errno = 0;
      limit = std::strtol(value, &rest, 10);
      if (*value == '\0' || *rest != '\0' || errno != 0 || limit < 1 ||
          limit > static_cast<long>(kw::kMaxFilterLimit)) {
        return bad_value(option, value, "a number from 1 to 32767");
      }
    } else if (option == "--limit" || option == "--bounds") {
      std::fprintf(stderr, "kwmatch: %s needs a value\n", option.c_str());
      return usage();
    } else {
      std::fprintf(stderr, "kwmatch: unknown option %s\n", option.c_str());
      return usage();
    }
  }
  if (arg >= argc) return usage();
  const char* expression = argv[arg++];
  if (!code_only && arg >= argc) return usage();

  kw::MatchFunction matcher = nullptr;
  PatternCode match = compile_or_report("expression", expression, &matcher);
  if (!match) return kUsageError;
  if (code_only) {
    print_code(match);
    return 0;
  }
  // The expression as a filter of its own without a replacement: every match is dropped and
  // scanning goes on at its end.
  kw::WebFilter filter{};
  filter.flags = kw::FILTER_ACTIVE;
  filter.match = kw::copy_heap_text(expression);
  filter.match_code = std::move(match);
  filter.match_matcher = matcher;
  filter.limit = static_cast<uint32_t>(limit);
  if (bounds_text != nullptr) {
    filter.bounds_code =
        compile_or_report("bounds expression", bounds_text, &filter.bounds_matcher);
    if (!filter.bounds_code) return kUsageError;
  }

  int matches = 0;
  bool unreadable = false;
  for (; arg < argc; ++arg) {
    std::vector<char> text;
    if (int error = read_file(argv[arg], &text)) {
      std::fprintf(stderr, "kwmatch: cannot read %s: %s\n", argv[arg], std::strerror(error));
      unreadable = true;
      continue;
    }
    matches += scan(argv[arg], text, filter);
  }
  if (unreadable) return kUsageError;
  return matches > 0 ? 0 : 1;
}
