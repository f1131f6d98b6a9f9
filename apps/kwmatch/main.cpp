// kwmatch: tries a matching expression on files the way the page filter scans a body, for
// people who write filters.
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
#include <vector>

#include "base/result.h"
#include "filters/match_context.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"
#include "filters/web_filter.h"

namespace {

using kw::MatchContext;
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

// The text with control bytes, backslashes and bytes from 0x7F up written as escapes, so that
// every match prints on one line.
std::string escaped(const char* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 32 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
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
  std::printf("level %d (%s matcher), %zu bytes\n", level, level <= 2 ? "simple" : "full",
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

// Scans one text as the page scan does; returns the number of matches printed.
int scan(const char* name, std::vector<char>* text, const PatternCode& match,
         const PatternCode& bounds, MatchFunction bounds_matcher, int limit) {
  const size_t size = text->size();
  text->push_back('\0');
  char* begin = text->data();
  char* end = begin + size;
  MatchContext ctx{};
  ctx.current_buffer = begin;
  ctx.buffer_end = end;
  int matches = 0;
  for (char* pos = begin; pos < end;) {
    kw::clear_variables(&ctx);
    char* window_end = pos + limit - 1 < end ? pos + limit - 1 : end;
    kw::set_string_window(&ctx, pos, window_end);
    char* bounds_end = nullptr;
    if (bounds) {
      bounds_end = kw::match_pattern(&ctx, bounds, bounds_matcher);
      if (bounds_end == nullptr) {
        ++pos;
        continue;
      }
      kw::set_string_window(&ctx, pos, bounds_end);
    }
    char* match_end = kw::match_pattern(&ctx, match);
    if (match_end == nullptr || match_end == pos || (bounds && match_end != bounds_end)) {
      ++pos;
      continue;
    }
    ++matches;
    std::printf("%s:%td:%td: %s\n", name, pos - begin, match_end - pos,
                escaped(pos, static_cast<size_t>(match_end - pos)).c_str());
    for (int d = 0; d < kw::kVariableCount; ++d) {
      if (ctx.variable_length[d] == 0) continue;
      std::printf("    \\%d=%s\n", d,
                  escaped(ctx.variable_start[d], ctx.variable_length[d]).c_str());
    }
    pos = match_end;
  }
  return matches;
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

  PatternCode match = compile_or_report("expression", expression, nullptr);
  if (!match) return kUsageError;
  if (code_only) {
    print_code(match);
    return 0;
  }
  MatchFunction bounds_matcher = nullptr;
  PatternCode bounds;
  if (bounds_text != nullptr) {
    bounds = compile_or_report("bounds expression", bounds_text, &bounds_matcher);
    if (!bounds) return kUsageError;
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
    matches += scan(argv[arg], &text, match, bounds, bounds_matcher, static_cast<int>(limit));
  }
  if (unreadable) return kUsageError;
  return matches > 0 ? 0 : 1;
}
