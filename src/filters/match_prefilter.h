// Ruling out start positions without running the interpreter.
//
// compute_prefilter reads compiled code once (at compile time) and records which input bytes
// can be the first one a match consumes, and the literal bytes every match begins with. It is
// conservative: whenever an expression could succeed, or store a variable, before consuming a
// byte (an empty match, a leading "*" or "\1", "&", a negated group), it allows every byte, so
// a check against it can only skip attempts that would fail and leave nothing behind.
//
// StartTable combines the prefilters of a list of filters: for each byte value a mask of the
// filters that can start with it and one of the filters it can follow the first byte of, and
// the literal runs each filter must begin with, so that a scan can pass over positions where
// no filter can start and try only the filters whose own runs occur at a position. The runs'
// first three bytes form a fingerprint searched sixteen (or thirty-two) positions at a time (each
// filter in one of eight groups, by nibble tables) where the processor allows, so that the bytes
// between candidates are passed over in bulk. At a candidate position, tables of the runs' first
// two and three bytes rule out most filters before any run is compared in full. Built once for a
// list of filters, then read-only: any number of threads may search with it.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "filters/pattern_code.h"

namespace kw {

// The prefilter of well-formed code (as compile_pattern makes it).
MatchPrefilter compute_prefilter(const uint8_t* code);

class StartTable {
 public:
  // Filters beyond this count are tried at every position.
  static constexpr int kMaxFilters = 64;

  StartTable() { clear(); }
  void clear();
  // Registers filter number `index` (0 first, in list order) with its Match code and its Bounds
  // code, if it has Bounds; a filter whose code is missing never matches and gets no bits.
  // `limit` is its window: a match begins at most that far before its literal run.
  void add(int index, const PatternCode& match, const PatternCode* bounds = nullptr,
           uint32_t limit = 32767);
  // After the last add: regroups the fingerprints so that each group's tables admit as few
  // other byte sequences as can be. Searches give the same results either way, only faster.
  void finish();

  // Bit i set: filter i of `filters` (below kMaxFilters) may match at p, judging by the bytes
  // present before `end`; a byte a check needs at or beyond end is taken to fit.
  uint64_t candidates(const char* p, const char* end, uint64_t filters = ~uint64_t{0}) const;
  // True when filters beyond kMaxFilters must be tried everywhere.
  bool every_position() const { return every_position_; }

  // The first position in [from, to) where one of `filters` may match (bytes are present up to
  // to), or `to`; *found receives its candidates there (0 at `to`).
  const char* next_candidate(const char* from, const char* to, uint64_t filters = ~uint64_t{0},
                             uint64_t* found = nullptr) const;

 private:
  // The literal runs a filter must begin with (the prefilter of its Match or its Bounds).
  struct Runs {
    // Each run's bytes (zero past its length), and the bits the input's A-Z must gain to
    // compare equal: 0x20 where the run holds a-z, so that (input | fold) == byte is the
    // literal's own comparison, sixteen bytes at once.
    alignas(16) uint8_t bytes[MatchPrefilter::kMaxPrefixes][MatchPrefilter::kMaxPrefix] = {};
    alignas(16) uint8_t fold[MatchPrefilter::kMaxPrefixes][MatchPrefilter::kMaxPrefix] = {};
    uint32_t wanted[MatchPrefilter::kMaxPrefixes] = {};  // bit i: byte i of the run must fit
    uint8_t length[MatchPrefilter::kMaxPrefixes] = {};
    uint8_t count = 0;
    bool skip_blanks = false;
  };
  static constexpr int kFingerprint = 3;  // bytes of each run in the fingerprint
  static constexpr int kGroups = 8;
  static constexpr int kLeadBits = 8;  // the lead tables have 1 << kLeadBits entries

  // The lead tables' entries for the first two or three bytes of a run (lower-cased, as the
  // literals compare the input).
  static uint32_t lead2(uint8_t a, uint8_t b) {
    return ((uint32_t{a} | uint32_t{b} << 8) * 0x9E3779B1u) >> (32 - kLeadBits);
  }
  static uint32_t lead3(uint8_t a, uint8_t b, uint8_t c) {
    const uint32_t key = uint32_t{a} | uint32_t{b} << 8 | uint32_t{c} << 16;
    return (key * 0x9E3779B1u) >> (32 - kLeadBits);
  }

  bool runs_fit(const Runs& runs, const char* p, const char* end) const;
  // candidates(), for the search loops to have in line.
  [[gnu::always_inline]] uint64_t candidates_at(const char* p, const char* end,
                                                uint64_t filters) const;
#if defined(__SSE2__)
  static bool runs_fit_bytes(const Runs& runs, __m128i v);
#endif
  void add_to_group(int group, uint64_t bit);
  void add_fingerprint(int group, int offset, uint8_t byte);
  const char* scan_plain(const char* from, const char* to, uint64_t filters, uint64_t* found) const;
  // The fingerprint search of next_candidate, sixteen positions at a time from `start` (at or
  // after `from`, where the search began); the wide one thirty-two at a time from `from` where
  // the processor has AVX2, the rest sixteen at a time.
  const char* scan_fingerprints(const char* from, const char* start, const char* to,
                                uint64_t filters, uint64_t* found) const;
  const char* scan_fingerprints_wide(const char* from, const char* to, uint64_t filters,
                                     uint64_t* found) const;
  // The groups whose fingerprint the filters have.
  uint8_t groups_of(uint64_t filters) const;
  // The candidates at the fingerprint hit k (of the groups `hit`), or at the blanks before it
  // where a blank-led filter may begin, first of [from, k]; `to` when none. In line in the
  // search loop: a call for each hit cost about as much as the check itself.
  [[gnu::always_inline]] const char* check_hit(const char* from, const char* k, const char* to,
                                               uint64_t filters, uint8_t hit,
                                               uint64_t* found) const;

  uint64_t first_[256];   // bit i of first_[b]: filter i can start with byte b
  uint64_t second_[256];  // bit i of second_[b]: byte b can follow filter i's first byte
  uint64_t with_runs_;    // filters whose runs are known
  uint64_t blank_led_;    // filters whose runs may follow blanks
  uint64_t anywhere_;     // filters that may match at any byte: no fingerprint
  uint64_t group_filters_[kGroups];
  uint64_t grouped_;          // the filters of all groups
  uint8_t all_groups_;        // the groups that hold filters
  uint8_t blank_led_groups_;  // the groups that hold blank-led filters
  uint32_t blank_reach_;      // the largest window of a blank-led filter
  bool every_position_;       // some filter beyond kMaxFilters: no position can be passed over
  Runs runs_[kMaxFilters];
  // Bit i of lead3_[lead3(a, b, c)]: filter i has a run of three bytes or more that begins with
  // a, b, c; lead2_ the same for its runs of two bytes. `led_` holds the filters these tables
  // speak for: those with runs, all of two bytes or more, not led by blanks. At a position whose
  // first bytes have none of a filter's entries, none of its runs begins.
  uint64_t lead3_[1 << kLeadBits];
  uint64_t lead2_[1 << kLeadBits];
  uint64_t led_;
  // Bit g of low_[j][n] (high_[j][n]): some filter of group g allows, at offset j of its
  // fingerprint, a byte whose low (high) four bits are n.
  alignas(16) uint8_t low_[kFingerprint][16];
  alignas(16) uint8_t high_[kFingerprint][16];
};

}  // namespace kw
