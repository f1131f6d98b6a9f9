// Searching bytes for where one literal element of pattern code could match.
//
// The lazy elements of the matchers try the rest of an expression at each later position; where
// that rest begins with a literal (or a quote element, or a group of alternatives that all begin
// with literals), only the positions holding one of the bytes it can begin with need a try; where
// it begins with two literals, only those holding both. These searches find them sixteen bytes
// at a time where the processor allows, with the literal's own comparison (A-Z fold to a-z for
// literals of 33 and up).
#pragma once

#include <cstdint>
#include <cstring>

#include "filters/pattern_code.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kw {

// The byte that also matches literal op, or op itself when there is none.
constexpr uint8_t literal_other_case(uint8_t op) {
  return op >= 'a' && op <= 'z' ? static_cast<uint8_t>(op - 32) : op;
}

// The first position in [from, end) holding one of the `count` bytes wanted[0..count), or end.
// With word_bytes_only it also stops at the first byte that is not a word byte (32 or less, or
// '>').
inline const char* find_any_byte(const uint8_t* wanted, int count, bool word_bytes_only,
                                 const char* from, const char* end) {
  const char* p = from;
#if defined(__SSE2__)
  const __m128i blank = _mm_set1_epi8(32);
  const __m128i close = _mm_set1_epi8('>');
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_setzero_si128();
    for (int i = 0; i < count; ++i) {
      hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(wanted[i]))));
    }
    if (word_bytes_only) {
      const __m128i at_most_blank = _mm_cmpeq_epi8(_mm_max_epu8(v, blank), blank);
      hit = _mm_or_si128(hit, _mm_or_si128(at_most_blank, _mm_cmpeq_epi8(v, close)));
    }
    const int bits = _mm_movemask_epi8(hit);
    if (bits != 0) return p + __builtin_ctz(static_cast<unsigned>(bits));
  }
#endif
  for (; p < end; ++p) {
    const uint8_t c = static_cast<uint8_t>(*p);
    if (word_bytes_only && (c <= 32 || c == '>')) return p;
    for (int i = 0; i < count; ++i) {
      if (c == wanted[i]) return p;
    }
  }
  return end;
}

// The first position in [from, end) holding byte a or byte b, or end; word_bytes_only as above.
inline const char* find_either_byte(uint8_t a, uint8_t b, bool word_bytes_only, const char* from,
                                    const char* end) {
  if (!word_bytes_only && a == b) {
    const void* hit = std::memchr(from, a, static_cast<size_t>(end - from));
    return hit != nullptr ? static_cast<const char*>(hit) : end;
  }
  const uint8_t wanted[2] = {a, b};
  return find_any_byte(wanted, 2, word_bytes_only, from, end);
}

// The first position in [from, end) where literal op matches, or end; word_bytes_only as above.
inline const char* find_literal(uint8_t op, bool word_bytes_only, const char* from,
                                const char* end) {
  return find_either_byte(op, literal_other_case(op), word_bytes_only, from, end);
}

// Whether (input | literal_fold(op)) == op is literal op's own comparison: for every op but
// A-Z, which no input matches.
constexpr bool literal_compares_by_fold(uint8_t op) { return op < 'A' || op > 'Z'; }
constexpr uint8_t literal_fold(uint8_t op) { return op >= 'a' && op <= 'z' ? 0x20 : 0; }

// The set bits of a mask of sixteen, without a library call where the processor is not known
// to count them itself.
constexpr uint32_t count_bits16(uint32_t x) {
  x = x - ((x >> 1) & 0x5555);
  x = (x & 0x3333) + ((x >> 2) & 0x3333);
  x = (x + (x >> 4)) & 0x0f0f;
  return (x + (x >> 8)) & 0x1f;
}
static_assert(count_bits16(0xffff) == 16 && count_bits16(0x8421) == 4 && count_bits16(0) == 0);

// The first position p in [from, last) where literal a matches at p and literal b at p + 1
// (both literal_compares_by_fold; bytes are present up to last + 1), with word_bytes_only also
// the first that is not a word byte; last when there is none. *a_alone receives how many
// positions before it have a matching a (and b not after it).
inline const char* find_literal_pair(uint8_t a, uint8_t b, bool word_bytes_only, const char* from,
                                     const char* last, uint32_t* a_alone) {
  const char* p = from;
  uint32_t count = 0;
#if defined(__SSE2__)
  const __m128i fold_a = _mm_set1_epi8(static_cast<char>(literal_fold(a)));
  const __m128i want_a = _mm_set1_epi8(static_cast<char>(a));
  const __m128i fold_b = _mm_set1_epi8(static_cast<char>(literal_fold(b)));
  const __m128i want_b = _mm_set1_epi8(static_cast<char>(b));
  const __m128i blank = _mm_set1_epi8(32);
  const __m128i close = _mm_set1_epi8('>');
  const __m128i one = _mm_set1_epi8(1);
  const __m128i zero = _mm_setzero_si128();
  __m128i counts = zero;  // the blocks' matching a, summed in two 64-bit halves
  unsigned stops = 0;
  for (; last - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i at_a = _mm_cmpeq_epi8(_mm_or_si128(v, fold_a), want_a);
    __m128i stop = _mm_and_si128(at_a, _mm_cmpeq_epi8(_mm_or_si128(next, fold_b), want_b));
    if (word_bytes_only) {
      const __m128i at_most_blank = _mm_cmpeq_epi8(_mm_max_epu8(v, blank), blank);
      stop = _mm_or_si128(stop, _mm_or_si128(at_most_blank, _mm_cmpeq_epi8(v, close)));
    }
    stops = static_cast<unsigned>(_mm_movemask_epi8(stop));
    if (stops != 0) {
      const auto as = static_cast<unsigned>(_mm_movemask_epi8(at_a));
      count += count_bits16(as & ((stops & -stops) - 1));
      break;
    }
    counts = _mm_add_epi64(counts, _mm_sad_epu8(_mm_and_si128(at_a, one), zero));
  }
  count += static_cast<uint32_t>(_mm_cvtsi128_si32(counts) +
                                 _mm_cvtsi128_si32(_mm_unpackhi_epi64(counts, counts)));
  if (stops != 0) {
    *a_alone = count;
    return p + __builtin_ctz(stops);
  }
#endif
  for (; p < last; ++p) {
    const uint8_t c = static_cast<uint8_t>(*p);
    if (word_bytes_only && (c <= 32 || c == '>')) break;
    if (literal_matches(a, c)) {
      if (literal_matches(b, static_cast<uint8_t>(p[1]))) break;
      ++count;
    }
  }
  *a_alone = count;
  return p;
}

}  // namespace kw
