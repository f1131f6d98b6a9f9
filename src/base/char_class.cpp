// Case-insensitive comparisons of the engine (ASCII letters only, other bytes compared as they
// are), used for header names, content types and file extensions.
#include "base/char_class.h"

namespace kw {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool equals_ignoring_case(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

bool prefix_equals_ignoring_case(const char* text, const char* prefix, int n) {
  for (int i = 0; i < n; ++i) {
    if (text[i] == '\0' || lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

}  // namespace kw
