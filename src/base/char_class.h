// The two byte classes every engine parser uses, both on the byte taken as a signed 8-bit
// number: a blank is below 33 (control characters, the space and every byte from 0x80 up), a
// token character is above 32 (0x21 to 0x7F). The byte 0 ends every text and is tested apart.
// Also the parsers' reading of decimal digits and their case-insensitive comparisons.
#pragma once

namespace kw {

inline bool is_blank(char c) { return static_cast<signed char>(c) < 33; }
inline bool is_token(char c) { return static_cast<signed char>(c) > 32; }
// A blank that is not the terminator: what "skip blanks" steps over.
inline bool is_skippable_blank(char c) { return c != '\0' && is_blank(c); }

// Reads the decimal digits at p into *value, each step value * 10 + digit kept in the width of
// T (so a long run wraps as the field does). Returns the position after the digits.
template <typename Char, typename T>
Char* read_decimal(Char* p, T* value) {
  while (*p >= '0' && *p <= '9') {
    *value = static_cast<T>(*value * 10 + (*p - '0'));
    ++p;
  }
  return p;
}

// ASCII-only case-insensitive comparison of two whole texts.
bool equals_ignoring_case(const char* a, const char* b);
// ASCII-only case-insensitive comparison of the first n bytes.
bool prefix_equals_ignoring_case(const char* text, const char* prefix, int n);

}  // namespace kw
